// The program's own folder, the current folder and the temporary folder.
#pragma once

#include <string>

namespace TesselLibrary {

// Each fills `out`, returns its text, and ends in the platform's separator.
const char16_t* ModuleFolder(std::u16string& out);
const char16_t* CurrentFolder(std::u16string& out);
const char16_t* TempFolder(std::u16string& out);

}  // namespace TesselLibrary
