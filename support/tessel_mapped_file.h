// Read-only access to a file's bytes through a memory-mapped view. No part
// of the program uses it now: the digest reads its files into buffers
// instead, since a read fails cleanly where a view of a file cut short by
// another process faults, and reads measured faster.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace TesselLibrary {

struct TesselMappedFileData;

class TesselMappedFile {
public:
    // Opens the file for reading (shared for reading only), creates a
    // read-only mapping and maps a first view of the whole file. Never throws
    // for a missing, locked or unmappable file: `view()` is then null.
    explicit TesselMappedFile(const char16_t* path);
    ~TesselMappedFile();
    TesselMappedFile(const TesselMappedFile&) = delete;
    TesselMappedFile& operator=(const TesselMappedFile&) = delete;

    // Whether the file could be opened; a zero-length file opens but has
    // no view.
    bool IsOpen() const;
    // The open failed because the path, or a folder on it, does not exist
    // (as opposed to a file that is there but cannot be read).
    bool NotFound() const;
    // The file's size; 0 when it is not open.
    std::uint64_t Size() const;
    // Replaces the current view by `length` bytes at `offset`. Changes
    // nothing when the file is not open or has no mapping.
    void MapWindow(std::uint64_t offset, std::uint32_t length);
    // Start of the current view; null when none is mapped.
    const std::uint8_t* view() const;

    // The one way to touch the bytes of a view: runs `use` on the first
    // `length` bytes of the current view, in order, in one piece or in
    // several (Windows reads them through a buffer). Returns false without
    // calling it when there is no view, false when `use` does, and false
    // when the bytes cannot be read (the file was truncated by another
    // process, an I/O error underneath) instead of crashing.
    bool ReadView(std::uint32_t length,
                  const std::function<bool(const std::uint8_t* bytes, std::uint32_t length)>& use) const;

private:
    std::unique_ptr<TesselMappedFileData> data_;
};

}  // namespace TesselLibrary
