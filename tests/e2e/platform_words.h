// Words that belong to one platform's help alone: the Windows help must name
// none of the Linux ones, the manual page and the terminal help none of the
// Windows ones.
#pragma once

#include <string>
#include <vector>

namespace e2e {

inline const std::vector<std::string> kLinuxOnlyWords = {
    "Linux",  "sumvane -",  "/usr/",    "/srv/",     "/data/",   "/var/log", "/tmp", "~/",     "$XDG",
    "SIGINT", "signal",     "KDE",      "GNOME",     "nautilus", "notify-send", "xclip", "xsel", "wl-copy",
    "zenity", "kdialog",    "crontab",  "systemd",   "--help",   "--version",  "Sumvane.html"};

inline const std::vector<std::string> kWindowsOnlyWords = {
    "Windows", "Sumvane.exe", "SumvaneW", "C:\\",     "D:\\",    "%USERPROFILE%", "%TEMP%", "Explorer",
    "registry", "HKEY",       "schtasks", "Task Scheduler", "message box", "Notepad", "Sumvane.chm", "administrator"};

// The words of `words` that `text` holds.
inline std::vector<std::string> WordsIn(const std::string& text, const std::vector<std::string>& words) {
    std::vector<std::string> found;
    for (const std::string& word : words)
        if (text.find(word) != std::string::npos) found.push_back(word);
    return found;
}

}  // namespace e2e
