// Standard output and the process's arguments on POSIX.
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iterator>
#include <string>

#include "console.h"
#include "text.h"

namespace TesselLibrary {

void WriteConsoleText(const std::u16string& text) {
    const std::string bytes = ToSystemBytes(text);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(STDOUT_FILENO, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

// The kernel keeps the arguments as given, NUL-separated; reading them here
// keeps the program independent of what its entry point was handed.
std::optional<std::vector<std::u16string>> SplitProcessArguments() {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::u16string> arguments;
    std::size_t start = 0;
    bool first = true;
    while (start < all.size()) {
        std::size_t end = all.find('\0', start);
        if (end == std::string::npos) end = all.size();
        if (!first) arguments.push_back(FromSystemBytes(std::string_view(all).substr(start, end - start)));
        first = false;
        start = end + 1;
    }
    return arguments;
}

std::u16string ProcessCommandLine() { return {}; }

}  // namespace TesselLibrary
