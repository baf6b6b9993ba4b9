// Test helper for the Windows end-to-end cases: holds a file open so that
// another process meets a file in use.
//   hold_open.exe <file> <ready-marker> <release-marker>
//       opens it for writing (sharing reading and writing, as an editor or a
//       logger would) and holds it until the release file appears
//   hold_open.exe read <file> <held-marker> <milliseconds>
//       waits for the file to appear, opens it for reading as soon as it can
//       (sharing reading only, as a virus scanner or a viewer would), makes
//       the marker and holds it that long
//   hold_open.exe follow <file> <held-marker> <milliseconds> <report> <release-marker>
//       the same as a log viewer that follows the file: opened for reading
//       sharing reading, writing and deleting, read as it grows for at least
//       that long and until the release file appears (2 minutes at most);
//       then writes "read N bytes" into the report file
//   hold_open.exe view <rw|rwd> <file> <held-marker> <release-marker>
//       as a log viewer left open: opened for reading as soon as it is there,
//       sharing reading and writing (rwd: and deleting), held until the
//       release file appears
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

void Touch(const wchar_t* marker) {
    const HANDLE made = ::CreateFileW(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (made != INVALID_HANDLE_VALUE) ::CloseHandle(made);
}

// The file opened for reading as soon as it is there (up to 60 s; the
// program may have it open itself for a moment), or INVALID_HANDLE_VALUE.
HANDLE OpenWhenThere(const wchar_t* path, DWORD share) {
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int waited = 0; waited < 30000 && file == INVALID_HANDLE_VALUE; ++waited) {
        file = ::CreateFileW(path, GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) ::Sleep(2);
    }
    return file;
}

int HoldForReading(const wchar_t* path, const wchar_t* marker, DWORD milliseconds) {
    const HANDLE file = OpenWhenThere(path, FILE_SHARE_READ);
    if (file == INVALID_HANDLE_VALUE) return 3;
    Touch(marker);
    ::Sleep(milliseconds);
    ::CloseHandle(file);
    return 0;
}

int Follow(const wchar_t* path, const wchar_t* marker, DWORD milliseconds, const wchar_t* report,
           const wchar_t* release) {
    const HANDLE file = OpenWhenThere(path, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    if (file == INVALID_HANDLE_VALUE) return 3;
    Touch(marker);
    const ULONGLONG start = ::GetTickCount64();
    unsigned long long total = 0;
    for (bool last = false; !last;) {
        const ULONGLONG elapsed = ::GetTickCount64() - start;
        last =
            (elapsed >= milliseconds && ::GetFileAttributesW(release) != INVALID_FILE_ATTRIBUTES) || elapsed >= 120000;
        char buffer[65536];
        DWORD got = 0;
        while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) total += got;
        if (!last) ::Sleep(50);
    }
    ::CloseHandle(file);
    const std::string said = "read " + std::to_string(total) + " bytes";
    const HANDLE out = ::CreateFileW(report, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) return 3;
    DWORD written = 0;
    ::WriteFile(out, said.data(), static_cast<DWORD>(said.size()), &written, nullptr);
    ::CloseHandle(out);
    return 0;
}

int View(const std::wstring& sharing, const wchar_t* path, const wchar_t* marker, const wchar_t* release) {
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | (sharing == L"rwd" ? FILE_SHARE_DELETE : 0);
    const HANDLE file = OpenWhenThere(path, share);
    if (file == INVALID_HANDLE_VALUE) return 3;
    Touch(marker);
    // Bounded: a test that never releases the file must not leave this behind.
    for (int waited = 0; waited < 1200 && ::GetFileAttributesW(release) == INVALID_FILE_ATTRIBUTES; ++waited)
        ::Sleep(100);
    ::CloseHandle(file);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 5 && std::wstring(argv[1]) == L"read")
        return HoldForReading(argv[2], argv[3], static_cast<DWORD>(std::wcstoul(argv[4], nullptr, 10)));
    if (argc == 7 && std::wstring(argv[1]) == L"follow")
        return Follow(argv[2], argv[3], static_cast<DWORD>(std::wcstoul(argv[4], nullptr, 10)), argv[5], argv[6]);
    if (argc == 6 && std::wstring(argv[1]) == L"view") return View(argv[2], argv[3], argv[4], argv[5]);
    if (argc != 4) return 2;
    const HANDLE file = ::CreateFileW(argv[1], GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 3;
    Touch(argv[2]);
    // Bounded: a test that never releases the file must not leave this behind.
    for (int waited = 0; waited < 1200 && ::GetFileAttributesW(argv[3]) == INVALID_FILE_ATTRIBUTES; ++waited)
        ::Sleep(100);
    ::CloseHandle(file);
    return 0;
}
