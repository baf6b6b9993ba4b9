// The context-menu verb on Linux desktops: a KDE service menu and a GNOME
// Files script, both in the user's data folder, running the same command.

#include "context_menu_verb.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "file_descriptor.h"
#include "create_folders.h"
#include "program_search.h"
#include "text.h"

namespace TesselLibrary {

namespace {

using Posix::EnvironmentBytes;
using Posix::UniqueFd;

constexpr mode_t kExecutableMode = 0755;

// $XDG_DATA_HOME, or ~/.local/share; "" when neither can be found. A
// relative XDG_DATA_HOME is invalid by the same rules and is ignored.
std::string DataHome() {
    const std::string xdg = EnvironmentBytes("XDG_DATA_HOME");
    if (!xdg.empty() && xdg.front() == '/') return xdg;
    const std::string home = EnvironmentBytes("HOME");
    if (home.empty()) return {};
    return home + "/.local/share";
}

struct VerbFiles {
    std::string serviceMenuFolder, serviceMenuName;
    std::string scriptFolder, scriptName;
};

// The verb name becomes a file name, so it must be one.
bool UsableAsFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

std::string AsciiLowerCase(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

bool LocateVerbFiles(const std::u16string& verbName, VerbFiles& files) {
    const std::string dataHome = DataHome();
    const std::string name = ToSystemBytes(verbName);
    if (dataHome.empty() || !UsableAsFileName(name)) return false;
    files.serviceMenuFolder = dataHome + "/kio/servicemenus";
    files.serviceMenuName = AsciiLowerCase(name) + ".desktop";
    files.scriptFolder = dataHome + "/nautilus/scripts";
    files.scriptName = name;
    return true;
}

// The desktop-entry action identifier: letters, digits and '-' only.
std::string ActionId(const std::string& name) {
    std::string id = AsciiLowerCase(name);
    for (char& c : id) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
        if (!plain) c = '-';
    }
    return id;
}

// Escapes of a desktop-entry string value.
std::string DesktopValue(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            case '\r': out += "\\r"; break;
            default: out += c;
        }
    }
    if (!out.empty() && out.front() == ' ') out.replace(0, 1, "\\s");
    return out;
}

// The inside of a double-quoted Exec argument: the four reserved
// characters take a backslash, and '%' is doubled so it is never a field
// code. DesktopValue then escapes the backslashes once more.
std::string ExecQuotedText(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
        if (c == '%') out += '%';
        out += c;
    }
    return out;
}

// The inside of a POSIX shell double-quoted word.
std::string ShellQuotedText(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
        out += c;
    }
    return out;
}

std::string ServiceMenu(const std::string& verbName, const std::string& executable, const std::string& prefix) {
    const std::string id = ActionId(verbName);
    const std::string exec = "\"" + ExecQuotedText(executable) + "\" \"" + ExecQuotedText(prefix) + "%f\"";
    return "[Desktop Entry]\n"
           "Type=Service\n"
           "X-KDE-ServiceTypes=KonqPopupMenu/Plugin\n"
           "MimeType=all/allfiles;\n"
           "Actions=" +
           id +
           ";\n"
           "\n"
           "[Desktop Action " +
           id +
           "]\n"
           "Name=" +
           DesktopValue(verbName) +
           "\n"
           "Exec=" +
           DesktopValue(exec) + "\n";
}

std::string FilesScript(const std::string& executable, const std::string& prefix) {
    return "#!/bin/sh\n"
           "exec \"" +
           ShellQuotedText(executable) + "\" \"" + ShellQuotedText(prefix) + "$1\"\n";
}

// Writes a temporary file beside the target and renames it over, so the
// file managers never see half a file and a second install replaces the first.
void WriteExecutableFile(const std::string& folder, const std::string& name, const std::string& contents) {
    // New folders in the data home are private to the user, as the XDG
    // base directory rules ask.
    if (!CreateFolders(FromSystemBytes(folder), true)) return;
    std::string temporary = folder + "/." + name + ".XXXXXX";
    UniqueFd fd(::mkstemp(temporary.data()));
    if (!fd.valid()) return;
    const bool written =
        Posix::WriteAll(fd.get(), contents.data(), contents.size()) && ::fchmod(fd.get(), kExecutableMode) == 0;
    const bool closed = fd.reset();
    const std::string target = folder + "/" + name;
    if (!written || !closed || ::rename(temporary.c_str(), target.c_str()) != 0) {
        ::unlink(temporary.c_str());
    }
}

}  // namespace

void InstallContextMenuVerb(const std::u16string& verbName, const std::u16string& executable,
                            const std::u16string& argumentPrefix) {
    VerbFiles files;
    if (!LocateVerbFiles(verbName, files)) return;
    const std::string name = ToSystemBytes(verbName);
    const std::string program = ToSystemBytes(executable);
    const std::string prefix = ToSystemBytes(argumentPrefix);
    WriteExecutableFile(files.serviceMenuFolder, files.serviceMenuName, ServiceMenu(name, program, prefix));
    WriteExecutableFile(files.scriptFolder, files.scriptName, FilesScript(program, prefix));
}

void RemoveContextMenuVerb(const std::u16string& verbName) {
    VerbFiles files;
    if (!LocateVerbFiles(verbName, files)) return;
    ::unlink((files.serviceMenuFolder + "/" + files.serviceMenuName).c_str());
    ::unlink((files.scriptFolder + "/" + files.scriptName).c_str());
}

}  // namespace TesselLibrary
