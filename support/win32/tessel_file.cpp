// TesselFile, FileExists, RemoveFile on Windows: CreateFileW with the share
// modes of the design (readers share reading only, writers share nothing).
#include <windows.h>

#include "handle.h"
#include "tessel_file.h"
#include "wide.h"

namespace TesselLibrary {

struct TesselFileData {
    std::u16string path;
    Win32::Handle handle;
    bool openedForReading = false;
};

namespace {

HANDLE OpenForReading(const char16_t* path) {
    return ::CreateFileW(Win32::Wide(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
}

HANDLE OpenForWriting(const char16_t* path, DWORD disposition) {
    return ::CreateFileW(Win32::Wide(path), GENERIC_WRITE, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
}

}  // namespace

TesselFile::TesselFile(const char16_t* path) : data_(std::make_unique<TesselFileData>()) {
    data_->path = path ? path : u"filename.txt";
}

TesselFile::TesselFile(const std::u16string& path) : data_(std::make_unique<TesselFileData>()) {
    data_->path = path;
}

TesselFile::~TesselFile() { Close(); }

bool TesselFile::OpenRead() {
    if (data_->handle) {
        if (data_->openedForReading) return true;
        Close();
    }
    data_->openedForReading = true;
    data_->handle.reset(OpenForReading(data_->path.c_str()));
    return static_cast<bool>(data_->handle);
}

bool TesselFile::Read(void* buffer, std::uint32_t length, std::uint32_t* count) {
    std::uint32_t total = 0;
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    while (total < length) {
        const DWORD wanted = length - total;
        DWORD got = 0;
        if (!::ReadFile(data_->handle.get(), bytes + total, wanted, &got, nullptr)) return false;
        total += got;
        if (got < wanted) break;  // end of file
    }
    if (count) *count = total;
    return true;
}

bool TesselFile::Write(const void* data, std::uint32_t length) {
    if (!data_->handle || data_->openedForReading) {
        Close();
        data_->openedForReading = false;
        data_->handle.reset(OpenForWriting(data_->path.c_str(), CREATE_ALWAYS));
        if (!data_->handle) return false;
    }
    return WriteBytes(data, length);
}

bool TesselFile::Append(const void* data, std::uint32_t length) {
    return OpenAppend() && WriteBytes(data, length);
}

bool TesselFile::ReadAll(std::vector<std::uint8_t>& buffer) {
    if (!OpenRead()) return false;
    const std::uint32_t size = Size();
    buffer.clear();
    buffer.resize(size);
    return Read(buffer.data(), size);
}

std::uint32_t TesselFile::Size() {
    if (!OpenRead()) return 0;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(data_->handle.get(), &size)) return 0;
    return static_cast<std::uint32_t>(size.QuadPart & 0xFFFFFFFFu);
}

void TesselFile::SetPath(const char16_t* path) {
    Close();
    data_->path = path ? path : u"";
}

void TesselFile::Close() { data_->handle.reset(); }

bool TesselFile::Delete() {
    Close();
    return RemoveFile(data_->path.c_str());
}

bool TesselFile::OpenAppend() {
    if (data_->handle) {
        if (!data_->openedForReading) return true;  // keep writing where it stands
        Close();
    }
    data_->openedForReading = false;
    const DWORD disposition = FileExists(data_->path.c_str()) ? OPEN_ALWAYS : CREATE_ALWAYS;
    data_->handle.reset(OpenForWriting(data_->path.c_str(), disposition));
    if (!data_->handle) return false;
    ::SetFilePointer(data_->handle.get(), 0, nullptr, FILE_END);
    return true;
}

bool TesselFile::WriteBytes(const void* data, std::uint32_t length) {
    std::uint32_t total = 0;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    while (total < length) {
        const DWORD wanted = length - total;
        DWORD written = 0;
        if (!::WriteFile(data_->handle.get(), bytes + total, wanted, &written, nullptr) || written < wanted)
            return false;
        total += written;
    }
    return true;
}

bool FileExists(const char16_t* path) {
    const Win32::Handle file(OpenForReading(path ? path : u""));
    return static_cast<bool>(file);
}

bool RemoveFile(const char16_t* path) {
    const wchar_t* name = Win32::Wide(path ? path : u"");
    ::SetFileAttributesW(name, FILE_ATTRIBUTE_NORMAL);  // read-only, hidden and system files too
    return ::DeleteFileW(name) != 0;
}

}  // namespace TesselLibrary
