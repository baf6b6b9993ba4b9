// The frame on POSIX: the string table is compiled in, and a message box is
// one line on standard error (a console program must never wait for a click),
// or, in a run without a terminal, shown on the desktop without waiting.
#include <unistd.h>

#include <cstdint>
#include <iterator>
#include <string>

#include "desktop_message.h"
#include "file_descriptor.h"
#include "tessel_app.h"
#include "text.h"

namespace TesselLibrary {

namespace {

struct StringEntry {
    std::uint32_t id;
    const char16_t* text;
};

constexpr StringEntry kStringTable[] = {
#define SUMVANE_STRING(name, id, text) {id, u"" text},
#include "strings.inc"
#undef SUMVANE_STRING
};

// On the desktop when nobody reads standard error there, otherwise one
// line on it.
void ShowBox(const char16_t* caption, const char16_t* text, bool error) {
    const std::string captionText = ToSystemBytes(caption ? caption : u"");
    const std::string bodyText = ToSystemBytes(text ? text : u"");
    if (Posix::ShowOnDesktop(captionText, bodyText, error)) return;
    // On a terminal a control character of a text must not act.
    const std::u16string line = ShownOnTerminal(std::u16string(caption ? caption : u"") + u": " + (text ? text : u""));
    Posix::WriteAll(STDERR_FILENO, ToSystemBytes(line) + "\n");
}

}  // namespace

TesselApp::TesselApp() : data_(std::make_unique<TesselAppData>()) {}

TesselApp::~TesselApp() = default;

const char16_t* TesselApp::ResourceString(std::uint32_t id) const {
    for (const StringEntry& entry : kStringTable) {
        if (entry.id == id) return entry.text;
    }
    return u"";
}

TesselAppWindows::TesselAppWindows() = default;

TesselAppWindows::~TesselAppWindows() = default;

void TesselAppWindows::ShowMessage(const char16_t* caption, const char16_t* text) const {
    ShowBox(caption, text, false);
}

void TesselAppWindows::ShowError(const char16_t* caption, const char16_t* text) const { ShowBox(caption, text, true); }

}  // namespace TesselLibrary
