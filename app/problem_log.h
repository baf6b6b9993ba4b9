// The lines a run writes into its log, one rule for each kind of problem.
#pragma once

#include <cstdint>
#include <string>

#include "engine/file_digest.h"
#include "tessel_app.h"
#include "tessel_log.h"

// A path as a log line shows it: a carriage return or line feed in it
// (possible in a Linux file name) as \r or \n, so that the line stays one.
std::u16string pathForLog(const std::u16string& path);

class ProblemLog {
public:
    ProblemLog(TesselLibrary::TesselLog& log, const TesselLibrary::TesselApp& strings) : log_(log), strings_(strings) {}

    // One log line: pathForLog(path) followed by string `messageId`.
    void logProblem(const std::u16string& path, std::uint32_t messageId) const;
    // The mismatch line: the path, " - MD5 Mismatch", then the two digests
    // in parentheses, in the order given.
    void logMismatch(const std::u16string& path, const std::u16string& first, const std::u16string& second) const;
    // " - File Not Found" when the path does not exist, " - Error computing
    // MD5" when the file could not be read; nothing for a digest.
    void logDigestFailure(const std::u16string& path, DigestResult result) const;

    TesselLibrary::TesselLog& log() const { return log_; }
    const TesselLibrary::TesselApp& strings() const { return strings_; }

private:
    TesselLibrary::TesselLog& log_;
    const TesselLibrary::TesselApp& strings_;
};
