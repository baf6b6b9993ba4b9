// The Windows clipboard, opened without an owner window.
#include <windows.h>

#include <cstring>

#include "clipboard.h"

namespace TesselLibrary {

bool OpenClipboard() { return ::OpenClipboard(nullptr) != 0; }

void PutTextOnClipboard(const std::u16string& text) {
    ::EmptyClipboard();
    if (!text.empty()) {
        const std::size_t bytes = (text.size() + 1) * sizeof(char16_t);
        if (const HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, bytes)) {
            bool handedOver = false;
            if (void* target = ::GlobalLock(memory)) {
                std::memcpy(target, text.c_str(), bytes);  // with the terminating null
                ::GlobalUnlock(memory);
                // From here on the clipboard owns the memory.
                handedOver = ::SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
            }
            if (!handedOver) ::GlobalFree(memory);
        }
    }
    ::CloseClipboard();
}

}  // namespace TesselLibrary
