// DesktopFolder, POSIX backend: the XDG desktop directory.
//
// $XDG_DESKTOP_DIR, else XDG_DESKTOP_DIR from $XDG_CONFIG_HOME/user-dirs.dirs
// (default ~/.config/user-dirs.dirs), else $HOME/Desktop. Created when
// missing, as mkdir -p makes it. "" when none can be had.
#include <cerrno>
#include <cstdlib>
#include <sstream>
#include <string>

#include <sys/stat.h>
#include <sys/types.h>

#include "create_folders.h"
#include "desktop_folder.h"
#include "program_search.h"
#include "read_loop.h"
#include "regular_file.h"
#include "text.h"

namespace TesselLibrary {

namespace {

// A configuration file is a few lines; more is not one.
constexpr std::size_t kMostConfigBytes = std::size_t{1} << 20;

// The file's text when it is a regular file. Opened without blocking and
// read only then: a FIFO or a device put in its place must not stop the run.
std::string ConfigText(const std::string& file) {
    const int fd = Posix::OpenRegularFile(file, O_RDONLY);
    if (fd < 0) return {};
    // What could be read is used, up to an error or the most there may be.
    std::string text(kMostConfigBytes, '\0');
    std::size_t got = 0;
    Posix::ReadFully(fd, text.data(), text.size(), &got);
    text.resize(got);
    ::close(fd);
    return text;
}

// The value of XDG_DESKTOP_DIR in a user-dirs.dirs file: a shell assignment
// whose value is "$HOME/..." or an absolute path, usually in double quotes.
std::string DesktopFromUserDirs(const std::string& file, const std::string& home) {
    std::istringstream in(ConfigText(file));
    std::string line;
    std::string found;
    while (std::getline(in, line)) {
        std::size_t i = line.find_first_not_of(" \t");
        if (i == std::string::npos || line[i] == '#') continue;
        static const std::string key = "XDG_DESKTOP_DIR=";
        if (line.compare(i, key.size(), key) != 0) continue;
        std::string value = line.substr(i + key.size());
        while (!value.empty() && (value.back() == '\r' || value.back() == ' ' || value.back() == '\t'))
            value.pop_back();
        if (value.size() >= 2 && value.front() == '"') {
            std::string unquoted;
            for (std::size_t k = 1; k < value.size() && value[k] != '"'; ++k) {
                if (value[k] == '\\' && k + 1 < value.size()) ++k;
                unquoted += value[k];
            }
            value = unquoted;
        }
        if (value.rfind("$HOME", 0) == 0 && (value.size() == 5 || value[5] == '/')) {
            if (home.empty()) continue;
            value = home + value.substr(5);
        }
        if (!value.empty() && value.front() == '/') found = value;  // the last assignment wins
    }
    return found;
}

}  // namespace

std::u16string DesktopFolder() {
    const std::string home = Posix::EnvironmentBytes("HOME");
    std::string folder = Posix::EnvironmentBytes("XDG_DESKTOP_DIR");
    if (folder.empty() || folder.front() != '/') {
        folder.clear();
        std::string config = Posix::EnvironmentBytes("XDG_CONFIG_HOME");
        if (config.empty() || config.front() != '/') config = home.empty() ? std::string() : home + "/.config";
        if (!config.empty()) folder = DesktopFromUserDirs(config + "/user-dirs.dirs", home);
    }
    if (folder.empty()) {
        if (home.empty()) return {};
        folder = home + "/Desktop";
    }
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    if (!CreateFolders(FromSystemBytes(folder))) return {};
    return FromSystemBytes(folder);
}

}  // namespace TesselLibrary
