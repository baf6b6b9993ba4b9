#include "summary_writer.h"

#include "string_ids.h"
#include "summary_format.h"

using namespace TesselLibrary;

bool SummaryWriter::add(const char (&digits)[32], const std::u16string& path) {
    if (failed_) return false;
    anyLine_ = true;
    if (writeSummaryLine(file_, digits, path)) return true;
    problems_.logProblem(file_.path(), kUnableToWrite);
    failed_ = true;
    return false;
}

SummaryWriter::Committed SummaryWriter::commit() {
    if (!anyLine_ || failed_) return Committed::Nothing;
    CommitOutcome outcome = CommitOutcome::Failed;
    file_.Commit(&outcome);
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

void SummaryWriter::remove() { file_.Delete(); }
