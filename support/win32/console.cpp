// Standard output and the command line on Windows.
#include <windows.h>

#include "console.h"
#include "text.h"
#include "wide.h"

namespace TesselLibrary {

void WriteConsoleText(const std::u16string& text) {
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (out == nullptr || out == INVALID_HANDLE_VALUE) return;
    DWORD mode = 0;
    if (::GetConsoleMode(out, &mode)) {
        DWORD written = 0;
        ::WriteConsoleW(out, Win32::Wide(text), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    // Redirected to a file or a pipe, where WriteConsoleW writes nothing.
    const std::string bytes = ToSystemBytes(text);
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        if (!::WriteFile(out, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written, nullptr) ||
            written == 0)
            return;
        done += written;
    }
}

std::optional<std::vector<std::u16string>> SplitProcessArguments() { return std::nullopt; }

std::u16string ProcessCommandLine() { return Win32::Utf16(::GetCommandLineW()); }

}  // namespace TesselLibrary
