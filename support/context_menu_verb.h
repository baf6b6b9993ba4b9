// The file manager's context-menu entry that hashes one file to the clipboard.
#pragma once

#include <string>

namespace TesselLibrary {

// Registers (or rewrites) the verb `verbName` for every file, running
// `executable` with the argument `argumentPrefix` followed by the file
// manager's placeholder for the chosen file, each quoted.
void InstallContextMenuVerb(const std::u16string& verbName, const std::u16string& executable,
                            const std::u16string& argumentPrefix);
// Removes the verb; nothing happens when it is not there.
void RemoveContextMenuVerb(const std::u16string& verbName);

}  // namespace TesselLibrary
