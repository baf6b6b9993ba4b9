// Words that belong to one platform's help alone: the Windows help must name
// none of the Linux ones, the manual page and the terminal help none of the
// Windows ones.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

namespace e2e {

inline const std::vector<std::string> kLinuxOnlyWords = {
    "Linux",  "sumvane -", "/usr/",   "/srv/",   "/data/",   "/var/log",    "/tmp",        "~/",   "$XDG",
    "SIGINT", "signal",    "KDE",     "GNOME",   "nautilus", "notify-send", "xclip",       "xsel", "wl-copy",
    "zenity", "kdialog",   "crontab", "systemd", "--help",   "--version",   "Sumvane.html"};

inline const std::vector<std::string> kWindowsOnlyWords = {
    "Windows",     "Sumvane.exe", "SumvaneW",    "C:\\",         "D:\\",     "%USERPROFILE%",
    "%TEMP%",      "Explorer",    "registry",    "HKEY",         "schtasks", "Task Scheduler",
    "message box", "Notepad",     "Sumvane.chm", "administrator"};

// The words of `words` that `text` holds.
inline std::vector<std::string> WordsIn(const std::string& text, const std::vector<std::string>& words) {
    std::vector<std::string> found;
    for (const std::string& word : words)
        if (text.find(word) != std::string::npos) found.push_back(word);
    return found;
}

// Sentences of an HTML page that a platform's filter left broken: where the
// words of one platform end a sentence and the words said to both begin
// the next, the next may start in lower case ("... as any check's do. the
// place file ..."). A sentence may start with a command in code; a table
// cell, a paragraph or a block of code starts afresh. Each find comes with
// the words around it.
inline std::vector<std::string> BrokenSentences(const std::string& html) {
    static const std::vector<std::string> blocks = {"p",  "td", "th", "tr", "li", "pre",  "br",   "table", "dt",
                                                    "dd", "h1", "h2", "h3", "h4", "body", "head", "title"};
    std::string plain;
    for (std::size_t at = 0; at < html.size();) {
        const char c = html[at];
        if (c == '<') {
            const std::size_t close = html.find('>', at);
            if (close == std::string::npos) break;
            std::string name = html.substr(at + 1, close - at - 1);
            const bool closing = !name.empty() && name[0] == '/';
            if (closing) name.erase(0, 1);
            name = name.substr(0, name.find_first_of(" \t\n"));
            if (std::find(blocks.begin(), blocks.end(), name) != blocks.end()) {
                plain.push_back('\n');
            } else if (name == "code" && !closing) {
                plain.push_back('`');  // what follows is no word of a sentence
            }
            at = close + 1;
            continue;
        }
        const bool blank = c == '\n' || c == '\r' || c == '\t' || c == ' ';
        if (!blank) {
            plain.push_back(c);
        } else if (!plain.empty() && plain.back() != ' ' && plain.back() != '\n') {
            plain.push_back(' ');
        }
        ++at;
    }
    std::vector<std::string> found;
    for (std::size_t at = plain.find(". "); at != std::string::npos; at = plain.find(". ", at + 1)) {
        const std::size_t next = at + 2;
        if (next >= plain.size() || plain[next] < 'a' || plain[next] > 'z') continue;
        const std::size_t word = plain.find_last_of(" \n", at);
        const std::size_t first = word == std::string::npos ? 0 : word + 1;
        const std::string before = plain.substr(first, at + 1 - first);
        if (before == "e.g." || before == "i.e." || before == "etc.") continue;
        const std::size_t from = at < 30 ? 0 : at - 30;
        found.push_back(plain.substr(from, next + 20 - from));
    }
    return found;
}

}  // namespace e2e
