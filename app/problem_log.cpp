#include "problem_log.h"

#include "string_ids.h"
#include "local_time.h"
#include "text.h"

using namespace TesselLibrary;

void ProblemLog::logProblem(const std::u16string& path, std::uint32_t messageId) const {
    ++tally_.problems;
    log_.Write(ShownInLogLine(path));
    log_.WriteLine(strings_.ResourceString(messageId));
}

void ProblemLog::logProblem(const std::u16string& path, std::uint32_t messageId, const std::u16string& detail) const {
    ++tally_.problems;
    log_.Write(ShownInLogLine(path));
    log_.Write(strings_.ResourceString(messageId));
    log_.WriteLine(ShownInLogLine(detail));
}

void ProblemLog::logMismatch(const std::u16string& path, const std::u16string& first, const std::u16string& second,
                             Verdict verdict, const FileTime& modified) const {
    ++tally_.problems;
    log_.Write(ShownInLogLine(path));
    log_.Write(strings_.ResourceString(kMd5Mismatch));
    log_.Write(u" (");
    log_.Write(ShownInLogLine(first));  // a stored digest may hold any byte; a line break must not end the line
    log_.Write(u" - ");
    log_.Write(ShownInLogLine(second));
    log_.Write(u")");
    // What tells an edit from damage follows the parenthesis, so that a
    // reader of the line as it always was still finds both digests there.
    if (verdict == Verdict::Edited) {
        ++tally_.edited;
        log_.Write(strings_.ResourceString(kModifiedAt));
        log_.Write(DateTimeText(LocalDateTimeOf(modified)));
    } else if (verdict == Verdict::Damaged) {
        ++tally_.damaged;
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
    ++tally_.problems;
    log_.WriteLine(strings_.ResourceString(messageId));
}

void ProblemLog::logNewFile(const std::u16string& path) const {
    ++tally_.newFiles;
    logNews(path, kNewFile);
}

void ProblemLog::logMoved(const std::u16string& from, const std::u16string& to) const {
    ++tally_.problems;
    ++tally_.moved;
    log_.Write(ShownInLogLine(from));
    log_.Write(strings_.ResourceString(kMovedTo));
    log_.WriteLine(ShownInLogLine(to));
}

void ProblemLog::logNews(const std::u16string& subject, std::uint32_t messageId, const std::u16string& detail) const {
    ++tally_.news;
    log_.Write(ShownInLogLine(subject));
    log_.Write(strings_.ResourceString(messageId));
    log_.WriteLine(ShownInLogLine(detail));
}
