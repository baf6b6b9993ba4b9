// The closing line of a run that logged problems.
#include <gtest/gtest.h>

#include "closing_line.h"
#include "platform.h"

namespace {

TEST(ClosingLine, CountsTheProblemsAndNamesTheLog) {
    const struct Case {
        std::size_t problems, notInLog;
        std::u16string logPath, expected;
    } cases[] = {
        {3, 0, u"/home/ann/Desktop/srvdata.txt", u": 3 problems; log: /home/ann/Desktop/srvdata.txt"},
        {1, 0, u"/var/log/a.txt", u": 1 problem; log: /var/log/a.txt"},
        {1, 1, u"/home/ann/Desktop/Photos.txt", u": 1 problem; log: /home/ann/Desktop/Photos.txt (not written there)"},
        {5, 2, u"/x/y.txt", u": 5 problems; log: /x/y.txt (2 not written there)"},
        {2, 0, u"/x/line\nbreak.txt", u": 2 problems; log: /x/line\\nbreak.txt"},  // stays one line
    };
    for (const Case& c : cases) {
        EXPECT_EQ(closingLine(c.problems, c.notInLog, c.logPath), TesselLibrary::kExecutableName + c.expected);
    }
}

}  // namespace
