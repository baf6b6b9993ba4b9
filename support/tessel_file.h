// A byte-oriented file named by path, opened lazily in the direction the
// operation needs (reading, or writing/appending) and closed by the object.
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
    // Writing handle already open: continue there. Otherwise create or
    // truncate the file first.
    bool Write(const void* data, std::uint32_t length);
    // Writing handle already open: continue there. Otherwise open (creating
    // when missing) and continue at the end.
    bool Append(const void* data, std::uint32_t length);
    bool ReadAll(std::vector<std::uint8_t>& buffer);
    // Low 32 bits of the size; 0 when the file cannot be opened.
    std::uint32_t Size();
    void SetPath(const char16_t* path);
    void Close();
    bool Delete();

private:
    bool OpenAppend();
    bool WriteBytes(const void* data, std::uint32_t length);

    std::unique_ptr<TesselFileData> data_;
};

// True when the path can be opened for reading right now.
bool FileExists(const char16_t* path);
// Clears read-only (and similar) attributes, then deletes the file.
bool RemoveFile(const char16_t* path);
// The embedded help document; null and 0 when there is none.
const std::uint8_t* FindHelpResource(ModuleHandle module, std::uint32_t* size);
// Writes the embedded help document to `path`, replacing an older file.
bool ExtractHelpFile(ModuleHandle module, const char16_t* path);

}  // namespace TesselLibrary
