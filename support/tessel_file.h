// A byte-oriented file named by path, opened lazily in the direction the
// operation needs (reading, or writing/appending) and closed by the object.
// A file made by Write replaces the old one only when Commit succeeds, so a
// run that fails or is killed part-way leaves the old file as it was.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tessel_app.h"

namespace TesselLibrary {

struct TesselFileData;

class TesselFile {
public:
    explicit TesselFile(const char16_t* path = nullptr);  // null: "filename.txt"
    explicit TesselFile(const std::u16string& path);
    ~TesselFile();
    TesselFile(const TesselFile&) = delete;
    TesselFile& operator=(const TesselFile&) = delete;

    bool OpenRead();
    // Reads up to `length` bytes from the handle OpenRead opened; stops early
    // at the end of the file. `count` receives the total on success.
    bool Read(void* buffer, std::uint32_t length, std::uint32_t* count = nullptr);
    // Writing handle already open: continue there. Otherwise start a new
    // temporary file beside the path (created new, never through a link);
    // the path itself is untouched until Commit. The bytes of a temporary
    // file are gathered into blocks: a failure to write one shows in the
    // Write that filled it, in every later Write, and in Commit.
    bool Write(const void* data, std::uint32_t length);
    // Puts what Write wrote in the place of the path: flushed to disk,
    // closed, then moved over the old file (a link there is replaced, not
    // followed). False, with the old file left as it was and the temporary
    // file removed, when any write, the flush, the close or the move failed,
    // or when nothing was written since the last Commit.
    bool Commit();
    // Writing handle already open: continue there. Otherwise open (creating
    // when missing) and continue at the end.
    bool Append(const void* data, std::uint32_t length);
    bool ReadAll(std::vector<std::uint8_t>& buffer);
    // The file's size; 0 when it cannot be opened.
    std::uint64_t Size();
    void SetPath(const char16_t* path);
    // Closes the handle; an uncommitted file from Write is discarded.
    void Close();
    bool Delete();

private:
    bool OpenAppend();
    bool WriteBytes(const void* data, std::uint32_t length);
    bool WritePending();
    bool StartTemporaryFile();
    void DiscardTemporaryFile();

    std::unique_ptr<TesselFileData> data_;
};

// Whether `name` is the name of a temporary file that Write makes to
// replace a file named `fileName` (letter case ignored, as folder listings
// on Windows may change it).
bool IsTemporaryNameOf(const std::u16string& name, const std::u16string& fileName);
// True when the path can be opened for reading right now.
bool FileExists(const char16_t* path);
// Deletes the file (a link itself, never its target). On Windows a
// read-only, hidden or system file is deleted too.
bool RemoveFile(const char16_t* path);
// The embedded help document; null and 0 when there is none.
const std::uint8_t* FindHelpResource(ModuleHandle module, std::uint32_t* size);
// Writes the embedded help document to `path`, replacing an older file.
bool ExtractHelpFile(ModuleHandle module, const char16_t* path);

}  // namespace TesselLibrary
