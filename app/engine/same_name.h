// Whole-name comparison ignoring letter case, as the system compares names:
// the summary's own name in every folder, and the excluded folders.
#pragma once

#include <string>

bool sameNameIgnoringCase(const std::u16string& a, const std::u16string& b);
