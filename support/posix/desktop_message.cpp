#include "desktop_message.h"

#include <unistd.h>

#include <vector>

#include "program_search.h"
#include "start_program.h"

namespace TesselLibrary::Posix {

namespace {

struct MessageTool {
    const char* name;
    std::vector<std::string> (*arguments)(const std::string& caption, const std::string& text, bool error);
};

// The texts are the program's own and never start with "-".
const MessageTool kTools[] = {
    {"notify-send",
     [](const std::string& caption, const std::string& text, bool error) {
         return std::vector<std::string>{"notify-send", error ? "--icon=dialog-error" : "--icon=dialog-information",
                                         caption, text};
     }},
    {"zenity",
     [](const std::string& caption, const std::string& text, bool error) {
         return std::vector<std::string>{"zenity", error ? "--error" : "--info", "--title=" + caption, "--text=" + text,
                                         "--no-markup"};
     }},
    {"kdialog",
     [](const std::string& caption, const std::string& text, bool error) {
         return std::vector<std::string>{"kdialog", "--title", caption, error ? "--error" : "--msgbox", text};
     }},
};

}  // namespace

bool ShowOnDesktop(const std::string& caption, const std::string& text, bool error) {
    if (::isatty(STDERR_FILENO) || !InGraphicalSession()) return false;
    for (const MessageTool& tool : kTools) {
        const std::string program = FindProgram(tool.name);
        if (!program.empty() && StartDetachedProgram(program, tool.arguments(caption, text, error))) return true;
    }
    return false;
}

}  // namespace TesselLibrary::Posix
