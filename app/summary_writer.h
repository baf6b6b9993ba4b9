// A new summary, or a rewrite, on its way to the disk: its lines go in order
// into the file's replacement, and only commit() puts it in the file's
// place. The first write that fails is reported once, for the file, and
// nothing is written after it: every later line would fail the same way.
// Beside it goes the record of each entry's file as it was read
// (file_dates.h), put in place just after the summary itself.
//
// Calling sequence:
//
//     SummaryWriter summary(file, problems, fileDatesBeside(...));
//     summary.add(digits, path, asRead); ...  // false once a write has failed
//     summary.commit();                       // or remove(), or neither: discarded
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/digest_result.h"
#include "file_dates.h"
#include "problem_log.h"
#include "tessel_file.h"

class SummaryWriter {
public:
    // `dates`: the record beside the file (null: none is written).
    SummaryWriter(TesselLibrary::TesselFile& file, const ProblemLog& problems,
                  std::unique_ptr<TesselLibrary::TesselFile> dates = nullptr)
        : file_(file), problems_(problems) {
        if (dates) dates_.emplace(std::move(dates));
    }
    // An uncommitted replacement is discarded; the old file stays as it was.
    ~SummaryWriter() { file_.Close(); }
    SummaryWriter(const SummaryWriter&) = delete;
    SummaryWriter& operator=(const SummaryWriter&) = delete;

    // One line: the digits, a space, the path's bytes, CR LF; and its file's
    // size and date as read (nothing: none known) in the record. False when
    // the line did not reach the replacement, now or at an earlier line.
    bool add(const char (&digits)[32], const std::u16string& path,
             const std::optional<FileAsRead>& asRead = std::nullopt);
    bool anyLine() const { return written_.anyLine; }
    // A path no line can hold (it has a line end): kept out, for the caller
    // to say so if the file is written at all.
    void leaveOut(const std::u16string& path) { leftOut_.push_back(path); }
    const std::vector<std::u16string>& leftOut() const { return leftOut_; }
    bool failed() const { return written_.failed; }

    enum class Committed {
        Nothing,            // no line was written, or one failed: the old file stays as it was
        Replaced,           // the new file is in place and on the disk
        ReplacedNotOnDisk,  // in place, but may not survive a power loss (logged)
        Failed,             // the old file stays as it was (logged)
    };
    // The record follows a summary put in place; if it cannot, the record
    // of the old summary is removed with it (logged, and failed() is true).
    Committed commit();
    // Removes the file itself and its record (a rewrite nobody needs, left
    // by an earlier run).
    void remove();

private:
    // How the writing went so far.
    struct Written {
        bool anyLine = false;  // a line went into the replacement
        bool failed = false;   // a write failed, of the summary or of its record
    };

    TesselLibrary::TesselFile& file_;
    const ProblemLog& problems_;
    Written written_;
    std::vector<std::u16string> leftOut_;
    std::optional<FileDatesWriter> dates_;
};
