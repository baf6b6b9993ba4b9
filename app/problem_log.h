// The lines a run writes into its log, one rule for each kind of problem:
// the only way the jobs and modes reach the log.
#pragma once

#include <cstdint>
#include <string>

#include "engine/digest_result.h"
#include "verdict.h"
#include "tessel_app.h"
#include "tessel_log.h"

class ProblemLog {
public:
    ProblemLog(TesselLibrary::TesselLog& log, const TesselLibrary::TesselApp& strings) : log_(log), strings_(strings) {}

    // One log line: the path (a line break in it shown as "\r" or "\n")
    // followed by string `messageId`.
    void logProblem(const std::u16string& path, std::uint32_t messageId) const;
    // The mismatch line: the path, " - MD5 Mismatch", then the two digests
    // in parentheses, in the order given.
    void logMismatch(const std::u16string& path, const std::u16string& first, const std::u16string& second) const;
    // The line of a verdict that has one of its own (not Good, not a
    // mismatch): the path and the verdict's message.
    void logVerdict(const std::u16string& path, Verdict verdict) const;
    // " - File Not Found" when the path does not exist, " - Error computing
    // MD5" when the file could not be read; nothing for a digest.
    void logDigestFailure(const std::u16string& path, DigestResult result) const;
    // A summary line that names no file: string `messageId` alone on its
    // line, since the line's own bytes may be anything.
    void logInvalidLine(std::uint32_t messageId) const;

private:
    TesselLibrary::TesselLog& log_;
    const TesselLibrary::TesselApp& strings_;
};
