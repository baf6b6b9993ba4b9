// One open file of the system, as TesselFile uses it: opened one way, read
// or written in pieces, closed by its owner. Each backend supplies the
// functions; TesselFile keeps the rules of when to open, reopen and close.
// Private to the support library.
#pragma once

#include <cstdint>
#include <string>

namespace TesselLibrary {

class FileHandle {
public:
    enum class Mode {
        Read,      // an existing file; others may read it meanwhile, not write
        Truncate,  // created or emptied; shared with no one
        Append,    // created when missing, positioned at its end; shared with no one
    };

    FileHandle() = default;
    ~FileHandle() { Close(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    // Closes any file held, then opens `path`.
    bool Open(const std::u16string& path, Mode mode);
    bool IsOpen() const { return native_ != kNone; }
    void Close();
    // Up to `length` bytes from the current position; `got` fewer than asked
    // means the end of the file.
    bool Read(void* buffer, std::uint32_t length, std::uint32_t* got);
    // `length` bytes at the current position; `written` fewer than asked
    // means the rest could not be written (a full disk).
    bool Write(const void* data, std::uint32_t length, std::uint32_t* written);
    bool Size(std::uint64_t* size) const;

private:
    // A file descriptor or a Windows handle; both systems use -1 for none
    // (INVALID_HANDLE_VALUE is -1 as a pointer).
    static constexpr std::intptr_t kNone = -1;
    std::intptr_t native_ = kNone;
};

}  // namespace TesselLibrary
