// Win32 backend, private: the program's UTF-16 text as the wide-character
// API takes it. On Windows wchar_t is a UTF-16 code unit, so no conversion.
#pragma once

#include <string>

namespace TesselLibrary::Win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "wchar_t must be UTF-16 on Windows");

inline const wchar_t* Wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
inline const wchar_t* Wide(const std::u16string& text) { return Wide(text.c_str()); }
inline wchar_t* Wide(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }
inline const char16_t* Utf16(const wchar_t* text) { return reinterpret_cast<const char16_t*>(text); }

}  // namespace TesselLibrary::Win32
