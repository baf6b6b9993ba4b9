// The system clipboard.
#pragma once

#include <string>

namespace TesselLibrary {

// False when the clipboard cannot be opened (held elsewhere, or none exists).
bool OpenClipboard();
// Replaces the clipboard contents with `text` and closes the clipboard.
void PutTextOnClipboard(const std::u16string& text);

}  // namespace TesselLibrary
