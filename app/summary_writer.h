// A new summary, or a rewrite, on its way to the disk: its lines go in order
// into the file's replacement, and only commit() puts it in the file's
// place. The first write that fails is reported once, for the file, and
// nothing is written after it: every later line would fail the same way.
//
// Calling sequence:
//
//     SummaryWriter summary(file, problems);
//     summary.add(digits, path); ...       // false once a write has failed
//     summary.commit();                    // or remove(), or neither: discarded
#pragma once

#include <string>
#include <vector>

#include "problem_log.h"
#include "tessel_file.h"

class SummaryWriter {
public:
    SummaryWriter(TesselLibrary::TesselFile& file, const ProblemLog& problems) : file_(file), problems_(problems) {}
    // An uncommitted replacement is discarded; the old file stays as it was.
    ~SummaryWriter() { file_.Close(); }
    SummaryWriter(const SummaryWriter&) = delete;
    SummaryWriter& operator=(const SummaryWriter&) = delete;

    // One line: the digits, a space, the path's bytes, CR LF. False when it
    // did not reach the replacement, now or at an earlier line.
    bool add(const char (&digits)[32], const std::u16string& path);
    bool anyLine() const { return anyLine_; }
    // A path no line can hold (it has a line end): kept out, for the caller
    // to say so if the file is written at all.
    void leaveOut(const std::u16string& path) { leftOut_.push_back(path); }
    const std::vector<std::u16string>& leftOut() const { return leftOut_; }
    bool failed() const { return failed_; }

    enum class Committed {
        Nothing,            // no line was written, or one failed: the old file stays as it was
        Replaced,           // the new file is in place and on the disk
        ReplacedNotOnDisk,  // in place, but may not survive a power loss (logged)
        Failed,             // the old file stays as it was (logged)
    };
    Committed commit();
    // Removes the file itself (a rewrite nobody needs, left by an earlier run).
    void remove();

private:
    TesselLibrary::TesselFile& file_;
    const ProblemLog& problems_;
    bool anyLine_ = false;
    bool failed_ = false;
    std::vector<std::u16string> leftOut_;
};
