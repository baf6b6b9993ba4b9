// Whole-string name comparison, as the system compares names.
#pragma once

#include <string>

namespace TesselLibrary {

bool NamesEqual(const std::u16string& a, const std::u16string& b);
// Simple case folding on both sides; no prefix match, no path normalisation.
bool NamesEqualIgnoringCase(const std::u16string& a, const std::u16string& b);
// The order NTFS lists a folder in: the names' code units compared one by
// one after upper-casing each, ties broken by the names as they are.
bool ListedBefore(const std::u16string& a, const std::u16string& b);

}  // namespace TesselLibrary
