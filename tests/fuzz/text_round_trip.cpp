// The conversions between names and bytes, on arbitrary input.
//  - System bytes: every byte string round-trips exactly through UTF-16
//    with the byte escapes.
//  - Summary bytes: every byte string without a zero byte read as a path
//    (widenBytes) and written back (toLowBytes) reads as the same path; it
//    gives the same bytes unless the path holds a character above U+00FF
//    (bytes in the older per-character form come back UTF-8 throughout) or
//    the bytes were UTF-8 throughout (a Latin-1 name comes back one byte per
//    character where that reads back as itself).
//  - Summary names: a name written and read back is the same name when it
//    holds no U+0000 and each surrogate in it is paired or a byte escape
//    (U+DC80..U+DCFF), whatever its Latin-1 characters could spell.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "summary_format.h"
#include "text.h"

using namespace TesselLibrary;

namespace {

bool WrittenWhole(const std::u16string& name) {
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char16_t unit = name[i];
        const char16_t next = i + 1 < name.size() ? name[i + 1] : u'\0';
        if (unit == 0) return false;
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            if (next < 0xDC00 || next > 0xDFFF) return false;
            ++i;
        } else if (unit >= 0xDC00 && unit <= 0xDFFF && (unit < 0xDC80 || unit > 0xDCFF)) {
            return false;
        }
    }
    return true;
}

// Non-ASCII bytes that are UTF-8 throughout: no byte of them is escaped as
// a system name's undecodable one.
bool Utf8Throughout(const std::string& bytes) {
    if (std::all_of(bytes.begin(), bytes.end(), [](char byte) { return static_cast<unsigned char>(byte) < 0x80; }))
        return false;
    const std::u16string text = FromSystemBytes(bytes);
    return std::none_of(text.begin(), text.end(), [](char16_t unit) { return unit >= 0xDC80 && unit <= 0xDCFF; });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    if (ToSystemBytes(FromSystemBytes(bytes)) != bytes) std::abort();
    if (bytes.find('\0') == std::string::npos) {
        const std::u16string path = widenBytes(bytes);
        const std::string again = toLowBytes(path);
        if (widenBytes(again) != path) std::abort();
        const bool aboveLatin1 = std::any_of(path.begin(), path.end(), [](char16_t unit) { return unit > 0xFF; });
        if (again != bytes && !aboveLatin1 && !Utf8Throughout(bytes)) std::abort();
    }

    std::u16string name(size / 2, u'\0');
    std::memcpy(name.data(), data, name.size() * sizeof(char16_t));
    if (WrittenWhole(name) && widenBytes(toLowBytes(name)) != name) std::abort();
    return 0;
}
