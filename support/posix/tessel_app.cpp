// The frame on POSIX: the string table is compiled in, and a message box is
// one line on standard error (a console program must never wait for a click).
#include <unistd.h>

#include <cstdint>
#include <iterator>
#include <string>

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
#define SUMVANE_STRING(id, text) {id, u"" text},
#include "strings.inc"
#undef SUMVANE_STRING
};

void MessageLine(const char16_t* caption, const char16_t* text) {
    std::u16string line = caption ? caption : u"";
    line += u": ";
    line += text ? text : u"";
    line += u'\n';
    Posix::WriteAll(STDERR_FILENO, ToSystemBytes(line));
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
    MessageLine(caption, text);
}

void TesselAppWindows::ShowError(const char16_t* caption, const char16_t* text) const {
    MessageLine(caption, text);
}

}  // namespace TesselLibrary
