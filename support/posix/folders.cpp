// The program's, the current and the temporary folder on POSIX.
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform.h"
#include "text.h"
#include "folders.h"
#include "path.h"

namespace TesselLibrary {

const char16_t* ModuleFolder(std::u16string& out) {
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0) return CurrentFolder(out);
        if (static_cast<std::size_t>(n) < buffer.size()) {
            out = DirectoryOf(FromSystemBytes(std::string_view(buffer.data(), static_cast<std::size_t>(n))));
            if (out.empty()) out.push_back(kPathSeparator);
            return out.c_str();
        }
        buffer.resize(buffer.size() * 2);
    }
}

const char16_t* CurrentFolder(std::u16string& out) {
    std::vector<char> buffer(4096);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) return TempFolder(out);
        buffer.resize(buffer.size() * 2);
    }
    out = FromSystemBytes(buffer.data());
    AppendSeparator(out);
    return out.c_str();
}

const char16_t* TempFolder(std::u16string& out) {
    const char* tmp = std::getenv("TMPDIR");
    out = FromSystemBytes(tmp && *tmp ? tmp : "/tmp");
    AppendSeparator(out);
    return out.c_str();
}

}  // namespace TesselLibrary
