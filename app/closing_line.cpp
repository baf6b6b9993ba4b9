#include "closing_line.h"

#include "problem_log.h"
#include "platform.h"
#include "text.h"

using namespace TesselLibrary;

namespace {

std::u16string Count(std::size_t number) { return FromSystemBytes(std::to_string(number)); }

}  // namespace

std::u16string closingLine(std::size_t problems, std::size_t notInLog, const std::u16string& logPath) {
    std::u16string line = kExecutableName;
    line += u": " + Count(problems) + (problems == 1 ? u" problem" : u" problems");
    line += u"; log: " + pathForLog(logPath);
    if (notInLog == problems) {
        line += u" (not written there)";
    } else if (notInLog != 0) {
        line += u" (" + Count(notInLog) + u" not written there)";
    }
    return line;
}
