// The Explorer verb for every file type: HKEY_CLASSES_ROOT\*\shell\<verb>\command.
// Writing under HKEY_CLASSES_ROOT needs administrator rights (it is stored
// under HKEY_LOCAL_MACHINE); for an ordinary user the same key and value go
// under HKEY_CURRENT_USER\Software\Classes, the per-user view of the classes.
#include <windows.h>

#include "context_menu_verb.h"
#include "registry_key.h"
#include "wide.h"

namespace TesselLibrary {

namespace {

constexpr REGSAM kRead = KEY_READ;
constexpr REGSAM kReadWrite = KEY_READ | KEY_WRITE;
constexpr const char16_t* kUserClasses = u"Software\\Classes\\";

bool SetDefaultValue(HKEY key, const std::u16string& text) {
    const DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(char16_t));  // with its null
    return ::RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), bytes) ==
           ERROR_SUCCESS;
}

// Opens `parent`\`keyPath` and deletes its child `child`; skipped when the
// key cannot be opened.
void DeleteChild(HKEY parent, const std::u16string& keyPath, const std::u16string& child) {
    Win32::RegistryKey key;
    if (key.Open(parent, Win32::Wide(keyPath), kRead)) ::RegDeleteKeyW(key.get(), Win32::Wide(child));
}

}  // namespace

void InstallContextMenuVerb(const std::u16string& verbName, const std::u16string& executable,
                            const std::u16string& argumentPrefix) {
    const std::u16string commandKey = u"shell\\" + verbName + u"\\command";
    const std::u16string command = u"\"" + executable + u"\" \"" + argumentPrefix + u"%1\"";

    {
        Win32::RegistryKey allFiles;
        if (allFiles.Open(HKEY_CLASSES_ROOT, L"*", kRead)) {
            Win32::RegistryKey key;
            if (key.Create(allFiles.get(), Win32::Wide(commandKey), kReadWrite)) {
                SetDefaultValue(key.get(), command);
                return;
            }
        }
    }
    // No administrator rights: the per-user classes, "*" created when missing.
    Win32::RegistryKey key;
    if (key.Create(HKEY_CURRENT_USER, Win32::Wide(kUserClasses + (u"*\\" + commandKey)), kReadWrite))
        SetDefaultValue(key.get(), command);
}

void RemoveContextMenuVerb(const std::u16string& verbName) {
    // The command key first, so that the verb key is empty when it goes.
    DeleteChild(HKEY_CLASSES_ROOT, u"*\\shell\\" + verbName, u"command");
    DeleteChild(HKEY_CLASSES_ROOT, u"*\\shell", verbName);
    DeleteChild(HKEY_CURRENT_USER, kUserClasses + (u"*\\shell\\" + verbName), u"command");
    DeleteChild(HKEY_CURRENT_USER, kUserClasses + std::u16string(u"*\\shell"), verbName);
}

}  // namespace TesselLibrary
