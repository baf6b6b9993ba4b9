// UTF-16 inside the program, the system's byte form at its boundary.
#pragma once

#include <string>
#include <string_view>

namespace TesselLibrary {

// UTF-8 to UTF-16. A byte that is not part of a well-formed UTF-8 sequence
// becomes U+DC00 + byte, so that every name the system hands us round-trips.
std::u16string FromSystemBytes(std::string_view bytes);

// UTF-16 to UTF-8. U+DC80..U+DCFF (not part of a pair) turn back into the
// raw byte they stand for; any other unpaired surrogate becomes U+FFFD.
std::string ToSystemBytes(std::u16string_view text);

// Appends the UTF-8 form of one code point (up to U+10FFFF).
void AppendUtf8(std::string& out, char32_t codePoint);

}  // namespace TesselLibrary
