#include "summary_writer.h"

#include "string_ids.h"
#include "summary_format.h"

using namespace TesselLibrary;

namespace {

// Puts the record in place just after its summary; false when it could not
// be, and then the old summary's record is removed with it (logged).
bool CommitRecord(FileDatesWriter& dates, const ProblemLog& problems) {
    if (dates.commit()) return true;
    // A record left of the old summary could tie the new one too when both
    // list the same lines, with dates no longer those of this reading.
    problems.logProblem(dates.path(), kUnableToWrite);
    dates.remove();
    return false;
}

}  // namespace

bool SummaryWriter::add(const char (&digits)[32], const std::u16string& path, const std::optional<FileAsRead>& asRead) {
    if (written_.failed) return false;
    written_.anyLine = true;
    if (dates_) dates_->add(digits, path, asRead);
    if (writeSummaryLine(file_, digits, path)) return true;
    problems_.logProblem(file_.path(), kUnableToWrite);
    written_.failed = true;
    return false;
}

SummaryWriter::Committed SummaryWriter::commit() {
    if (!written_.anyLine || written_.failed) return Committed::Nothing;
    CommitOutcome outcome = CommitOutcome::Failed;
    file_.Commit(&outcome);
    // The record follows a summary put in place.
    if (outcome != CommitOutcome::Failed && dates_ && !CommitRecord(*dates_, problems_)) written_.failed = true;
    switch (outcome) {
        case CommitOutcome::Replaced: return Committed::Replaced;
        case CommitOutcome::ReplacedNotOnDisk:
            problems_.logProblem(file_.path(), kReplacedNotOnDisk);
            return Committed::ReplacedNotOnDisk;
        case CommitOutcome::Failed: break;
    }
    problems_.logProblem(file_.path(), kUnableToWrite);
    return Committed::Failed;
}

void SummaryWriter::remove() {
    file_.Delete();
    if (dates_) dates_->remove();
}
