// Whole-string name comparison, as the system compares names.
#pragma once

#include <string>

namespace TesselLibrary {

bool NamesEqual(const std::u16string& a, const std::u16string& b);
// Simple case folding on both sides; no prefix match, no path normalisation.
bool NamesEqualIgnoringCase(const std::u16string& a, const std::u16string& b);
// The form under which the system takes two names for one file: the name
// itself on POSIX, where letter case tells files apart; upper-cased on
// Windows, where it does not.
std::u16string NameKey(const std::u16string& name);
// The order NTFS lists a folder in: the names' code units compared one by
// one after upper-casing each, ties broken by the names as they are.
bool ListedBefore(const std::u16string& a, const std::u16string& b);

}  // namespace TesselLibrary
