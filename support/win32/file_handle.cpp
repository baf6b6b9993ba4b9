// FileHandle on Windows: CreateFileW with the share modes of the design
// (readers share reading only, writers share nothing).
#include <windows.h>

#include "file_handle.h"
#include "tessel_file.h"
#include "wide.h"

namespace TesselLibrary {

namespace {

HANDLE Native(std::intptr_t native) { return reinterpret_cast<HANDLE>(native); }

HANDLE Create(const std::u16string& path, FileHandle::Mode mode) {
    const wchar_t* name = Win32::Wide(path);
    switch (mode) {
        case FileHandle::Mode::Read:
            return ::CreateFileW(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                 nullptr);
        case FileHandle::Mode::Truncate:
            return ::CreateFileW(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        case FileHandle::Mode::Append: {
            const DWORD disposition = FileExists(path.c_str()) ? OPEN_ALWAYS : CREATE_ALWAYS;
            const HANDLE file =
                ::CreateFileW(name, GENERIC_WRITE, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file != INVALID_HANDLE_VALUE) ::SetFilePointer(file, 0, nullptr, FILE_END);
            return file;
        }
    }
    return INVALID_HANDLE_VALUE;
}

}  // namespace

bool FileHandle::Open(const std::u16string& path, Mode mode) {
    Close();
    native_ = reinterpret_cast<std::intptr_t>(Create(path, mode));
    return IsOpen();
}

void FileHandle::Close() {
    if (IsOpen()) ::CloseHandle(Native(native_));
    native_ = kNone;
}

bool FileHandle::Read(void* buffer, std::uint32_t length, std::uint32_t* got) {
    DWORD count = 0;
    if (!::ReadFile(Native(native_), buffer, length, &count, nullptr)) return false;
    *got = count;
    return true;
}

bool FileHandle::Write(const void* data, std::uint32_t length, std::uint32_t* written) {
    DWORD count = 0;
    if (!::WriteFile(Native(native_), data, length, &count, nullptr)) return false;
    *written = count;
    return true;
}

bool FileHandle::Size(std::uint64_t* size) const {
    LARGE_INTEGER bytes{};
    if (!::GetFileSizeEx(Native(native_), &bytes)) return false;
    *size = static_cast<std::uint64_t>(bytes.QuadPart);
    return true;
}

}  // namespace TesselLibrary
