// Reading a log the way the tests compare it: each line's message without
// its time stamp.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace log_test {

// The lines of the UTF-16LE log at `path` without their 22-character time
// stamp and line end; ASCII messages only (each unit's low byte is taken).
inline std::vector<std::string> LogMessages(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> lines;
    std::string line;
    for (std::size_t i = 0; i + 1 < raw.size(); i += 2) {
        if (raw[i] == '\n') {
            lines.push_back(line.substr(22, line.size() - 23));
            line.clear();
        } else {
            line.push_back(raw[i]);
        }
    }
    return lines;
}

}  // namespace log_test
