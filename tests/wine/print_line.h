// What the Windows helper programs print: one line of UTF-8 text on their
// standard output, flushed at once, so that a test can compare paths of any
// script while the helper still runs.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

inline void Print(const std::wstring& line) {
    const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(bytes > 0 ? bytes - 1 : 0), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, out.data(), bytes, nullptr, nullptr);
    std::printf("%s\n", out.c_str());
    std::fflush(stdout);
}
