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
        case kFileNotFound:
            return {"missing", &ProblemFigures::missing};
        case kErrorComputingMd5:
            return {"unreadable", &ProblemFigures::unreadable};
        case kUnableToReadFolder:
            return {"unreadable_folder", &ProblemFigures::unreadableFolders};
        case kInvalidFilename:
        case kInvalidHash:
            return {"invalid_line", &ProblemFigures::invalidLines};
        case kUnableToWrite:
            return {"unwritable", &ProblemFigures::unwritable};
        case kReplacedNotOnDisk:
            return {"not_on_disk", &ProblemFigures::notOnDisk};
        case kMissingData:
            return {"missing_data", &ProblemFigures::missingData};
        case kRecordedUnder:  // as a problem: two folders fitted equally
            return {"undecided", &ProblemFigures::undecided};
        case kMovedTo:
            return {"moved", &ProblemFigures::moved};
        default:
            return {"problem", nullptr};
    }
}

const char* KindOfNews(std::uint32_t messageId) {
    switch (messageId) {
        case kNewFile:
            return "new_file";
        case kRecordedUnder:
            return "recorded_under";
        case kRepairedFrom:
            return "repaired";
        case kRestoredFrom:
            return "restored";
        case kNoGoodCopy:
            return "no_good_copy";
        case kChangedWhileChecked:
            return "changed_while_checked";
        case kNotRepaired:
            return "not_repaired";
        default:
            return "news";
    }
}

ProblemKind KindOfMismatch(Verdict verdict) {
    switch (verdict) {
        case Verdict::Damaged:
            return {"damaged", &ProblemFigures::damaged};
        case Verdict::Edited:
            return {"edited", &ProblemFigures::edited};
        default:
            return {"mismatch", &ProblemFigures::mismatched};
    }
}

}  // namespace

void ProblemLog::problemLine(std::uint32_t messageId, const std::u16string& path, const std::u16string& detail) const {
    const ProblemKind kind = KindOfProblem(messageId);
    ++tally_.problems;
    if (kind.count) ++(tally_.kinds.*kind.count);
    if (report_) report_->addLine({kind.name, path, u"", u"", std::nullopt, detail});
}

void ProblemLog::logProblem(const std::u16string& path, std::uint32_t messageId) const {
    problemLine(messageId, path);
    log_.Write(ShownInLogLine(path));
    log_.WriteLine(strings_.ResourceString(messageId));
}

void ProblemLog::logProblem(const std::u16string& path, std::uint32_t messageId, const std::u16string& detail) const {
    problemLine(messageId, path, detail);
    log_.Write(ShownInLogLine(path));
    log_.Write(strings_.ResourceString(messageId));
    log_.WriteLine(ShownInLogLine(detail));
}

void ProblemLog::logMismatch(const std::u16string& path, const std::u16string& stored, const std::u16string& found,
                             Verdict verdict, const FileTime& modified, DigestOrder order) const {
    const ProblemKind kind = KindOfMismatch(verdict);
    ++tally_.problems;
    ++(tally_.kinds.*kind.count);
    if (report_) {
        // The date tells an edit from damage: it goes with the verdict it told.
        const bool dated = verdict == Verdict::Edited || verdict == Verdict::Damaged;
        report_->addLine({kind.name, path, stored, found, dated ? std::optional<FileTime>(modified) : std::nullopt, u""});
    }
    const bool storedFirst = order == DigestOrder::StoredFirst;
    log_.Write(ShownInLogLine(path));
    log_.Write(strings_.ResourceString(kMd5Mismatch));
    log_.Write(u" (");
    // A stored digest may hold any byte; a line break must not end the line.
    log_.Write(ShownInLogLine(storedFirst ? stored : found));
    log_.Write(u" - ");
    log_.Write(ShownInLogLine(storedFirst ? found : stored));
    log_.Write(u")");
    // What tells an edit from damage follows the parenthesis, so that a
    // reader of the line as it always was still finds both digests there.
    if (verdict == Verdict::Edited) {
        log_.Write(strings_.ResourceString(kModifiedAt));
        log_.Write(DateTimeText(LocalDateTimeOf(modified)));
    } else if (verdict == Verdict::Damaged) {
        log_.Write(strings_.ResourceString(kDamagedDateUnchanged));
    }
    log_.WriteLine(u"");
}

void ProblemLog::logVerdict(const std::u16string& path, Verdict verdict) const {
    const std::uint32_t message = verdictMessage(verdict);
    if (message != 0) logProblem(path, message);
}

void ProblemLog::logDigestFailure(const std::u16string& path, DigestResult result) const {
    logVerdict(path, judgeDigest(result));
}

void ProblemLog::logInvalidLine(std::uint32_t messageId) const {
    problemLine(messageId, u"");
    log_.WriteLine(strings_.ResourceString(messageId));
}

void ProblemLog::logNewFile(const std::u16string& path) const {
    ++tally_.newFiles;
    logNews(path, kNewFile);
}

void ProblemLog::logMoved(const std::u16string& from, const std::u16string& to) const {
    problemLine(kMovedTo, from, to);
    log_.Write(ShownInLogLine(from));
    log_.Write(strings_.ResourceString(kMovedTo));
    log_.WriteLine(ShownInLogLine(to));
}

void ProblemLog::logHealing(bool healed, const std::u16string& subject, std::uint32_t messageId,
                            const std::u16string& detail) const {
    ++(healed ? tally_.repaired : tally_.notRepaired);
    logNews(subject, messageId, detail);
}

void ProblemLog::logNews(const std::u16string& subject, std::uint32_t messageId, const std::u16string& detail) const {
    ++tally_.news;
    if (report_) report_->addLine({KindOfNews(messageId), subject, u"", u"", std::nullopt, detail});
    log_.Write(ShownInLogLine(subject));
    log_.Write(strings_.ResourceString(messageId));
    log_.WriteLine(ShownInLogLine(detail));
}
