// Help on Linux: the desktop's own viewer for HTML pages when there is a
// desktop, otherwise the document's plain text on standard error; and the
// plain text on standard output when it is asked for there.

#include "help_viewer.h"

#include <unistd.h>

#include <string>

#include "embedded.h"
#include "file_descriptor.h"
#include "program_search.h"
#include "start_program.h"
#include "text.h"

namespace TesselLibrary {

namespace {

bool WriteText(int fd) { return Posix::WriteAll(fd, Embedded::helpText, Embedded::helpText_size); }

}  // namespace

void DisplayHelp(const std::u16string& path) {
    if (Posix::InGraphicalSession()) {
        const std::string viewer = Posix::FindProgram("xdg-open");
        if (!viewer.empty() && Posix::StartDetachedProgram(viewer, {viewer, ToSystemBytes(path)})) return;
    }
    WriteText(STDERR_FILENO);
}

bool WritePlainHelp() { return WriteText(STDOUT_FILENO); }

}  // namespace TesselLibrary
