#include "problem_log.h"

#include "json_report.h"
#include "string_ids.h"
#include "local_time.h"
#include "text.h"

using namespace TesselLibrary;

namespace {

// A problem's kind, as the counts and the JSON report name it.
struct ProblemKind {
    const char* name;
    std::uint64_t ProblemFigures::*count;
};

// The kind of a problem line, told by its message.
ProblemKind KindOfProblem(std::uint32_t messageId) {
    switch (messageId) {
        case kFileNotFound: return {"missing", &ProblemFigures::missing};
        case kErrorComputingMd5: return {"unreadable", &ProblemFigures::unreadable};
        case kUnableToReadFolder: return {"unreadable_folder", &ProblemFigures::unreadableFolders};
        case kInvalidFilename:
        case kInvalidHash: return {"invalid_line", &ProblemFigures::invalidLines};
        case kUnableToWrite: return {"unwritable", &ProblemFigures::unwritable};
        case kReplacedNotOnDisk: return {"not_on_disk", &ProblemFigures::notOnDisk};
        case kMissingData: return {"missing_data", &ProblemFigures::missingData};
        case kRecordedUnder:  // as a problem: two folders fitted equally
            return {"undecided", &ProblemFigures::undecided};
        case kMovedTo: return {"moved", &ProblemFigures::moved};
        default: return {"problem", nullptr};
    }
}

const char* KindOfNews(std::uint32_t messageId) {
    switch (messageId) {
        case kNewFile: return "new_file";
        case kRecordedUnder: return "recorded_under";
        case kRepairedFrom: return "repaired";
        case kRestoredFrom: return "restored";
        case kNoGoodCopy: return "no_good_copy";
        case kChangedWhileChecked: return "changed_while_checked";
        case kNotRepaired: return "not_repaired";
        default: return "news";
    }
}

ProblemKind KindOfMismatch(Verdict verdict) {
    switch (verdict) {
        case Verdict::Damaged: return {"damaged", &ProblemFigures::damaged};
        case Verdict::Edited: return {"edited", &ProblemFigures::edited};
        default: return {"mismatch", &ProblemFigures::mismatched};
    }
}

// Counts a problem line by its message, and hands it to the report.
void CountProblem(RunCounts& counts, JsonReport* report, std::uint32_t messageId, const std::u16string& path,
                  const std::u16string& detail) {
    const ProblemKind kind = KindOfProblem(messageId);
    ++counts.problems;
    if (kind.count) ++(counts.kinds.*kind.count);
    if (report) report->addLine({kind.name, path, u"", u"", std::nullopt, detail});
}

// Counts a line of news by its message: a new file, or a healing made or not.
void CountNews(RunCounts& counts, std::uint32_t messageId) {
    ++counts.news;
    switch (messageId) {
        case kNewFile: ++counts.newFiles; break;
        case kRepairedFrom:
        case kRestoredFrom: ++counts.repaired; break;
        case kNoGoodCopy:
        case kChangedWhileChecked:
        case kNotRepaired: ++counts.notRepaired; break;
        default: break;
    }
}

}  // namespace

void ProblemLog::logProblem(const std::u16string& path, std::uint32_t messageId, const std::u16string& detail) const {
    CountProblem(counts_, report_, messageId, path, detail);
    log_.Write(ShownInLogLine(path));
    log_.Write(strings_.ResourceString(messageId));
    log_.WriteLine(ShownInLogLine(detail));
}

void ProblemLog::logMismatch(const std::u16string& path, const Mismatch& mismatch) const {
    const ProblemKind kind = KindOfMismatch(mismatch.verdict);
    ++counts_.problems;
    ++(counts_.kinds.*kind.count);
    const Verdict verdict = mismatch.verdict;
    if (report_) {
        // The date tells an edit from damage: it goes with the verdict it told.
        const bool dated = verdict == Verdict::Edited || verdict == Verdict::Damaged;
        report_->addLine({kind.name, path, mismatch.stored, mismatch.found,
                          dated ? std::optional<FileTime>(mismatch.modified) : std::nullopt, u""});
    }
    const bool storedFirst = mismatch.order == DigestOrder::StoredFirst;
    log_.Write(ShownInLogLine(path));
    log_.Write(strings_.ResourceString(kMd5Mismatch));
    log_.Write(u" (");
    // A stored digest may hold any byte; a line break must not end the line.
    log_.Write(ShownInLogLine(storedFirst ? mismatch.stored : mismatch.found));
    log_.Write(u" - ");
    log_.Write(ShownInLogLine(storedFirst ? mismatch.found : mismatch.stored));
    log_.Write(u")");
    // What tells an edit from damage follows the parenthesis, so that a
    // reader of the line as it always was still finds both digests there.
    if (verdict == Verdict::Edited) {
        log_.Write(strings_.ResourceString(kModifiedAt));
        log_.Write(DateTimeText(LocalDateTimeOf(mismatch.modified)));
    } else if (verdict == Verdict::Damaged) {
        log_.Write(strings_.ResourceString(kDamagedDateUnchanged));
    }
    log_.WriteLine(u"");
}

void ProblemLog::logNews(const std::u16string& subject, std::uint32_t messageId, const std::u16string& detail) const {
    CountNews(counts_, messageId);
    if (report_) report_->addLine({KindOfNews(messageId), subject, u"", u"", std::nullopt, detail});
    log_.Write(ShownInLogLine(subject));
    log_.Write(strings_.ResourceString(messageId));
    log_.WriteLine(ShownInLogLine(detail));
}

void logVerdict(const ProblemLog& problems, const std::u16string& path, Verdict verdict) {
    const std::uint32_t message = verdictMessage(verdict);
    if (message != 0) problems.logProblem(path, message);
}
