#include "summary_writer.h"

#include "string_ids.h"
#include "summary_format.h"

using namespace TesselLibrary;

bool SummaryWriter::add(const char (&digits)[32], const std::u16string& path,
                        const std::optional<FileAsRead>& asRead) {
    if (failed_) return false;
    anyLine_ = true;
    if (dates_) dates_->add(digits, path, asRead);
    if (writeSummaryLine(file_, digits, path)) return true;
    problems_.logProblem(file_.path(), kUnableToWrite);
    failed_ = true;
    return false;
}

SummaryWriter::Committed SummaryWriter::commit() {
    if (!anyLine_ || failed_) return Committed::Nothing;
    CommitOutcome outcome = CommitOutcome::Failed;
    file_.Commit(&outcome);
    if (outcome != CommitOutcome::Failed) commitDates();
    switch (outcome) {
        case CommitOutcome::Replaced:
            return Committed::Replaced;
        case CommitOutcome::ReplacedNotOnDisk:
            problems_.logProblem(file_.path(), kReplacedNotOnDisk);
            return Committed::ReplacedNotOnDisk;
        case CommitOutcome::Failed:
            break;
    }
    problems_.logProblem(file_.path(), kUnableToWrite);
    return Committed::Failed;
}

void SummaryWriter::commitDates() {
    if (!dates_ || dates_->commit()) return;
    // A record left of the old summary could tie the new one too when both
    // list the same lines, with dates no longer those of this reading.
    problems_.logProblem(dates_->path(), kUnableToWrite);
    dates_->remove();
    failed_ = true;
}

void SummaryWriter::remove() {
    file_.Delete();
    if (dates_) dates_->remove();
}
