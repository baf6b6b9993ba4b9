// The lines a run writes into its log, one rule for each kind of problem:
// the only way the jobs and modes reach the log.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/digest_result.h"
#include "run_figures.h"
#include "verdict.h"
#include "tessel_app.h"
#include "tessel_log.h"

class JsonReport;

// The lines a run has logged, told apart: problems fail the run, news (what
// changed without anything being wrong) does not.
struct LogTally {
    std::size_t problems = 0;
    std::size_t news = 0;
    std::size_t newFiles = 0;  // of the news
    // The problems by kind, for a closing line that names them and for the
    // run's figures.
    ProblemFigures kinds = {};
    // With -b, the problems a copy was asked to heal: healed (still
    // problems), and not, each said in a line of news.
    std::size_t repaired = 0;
    std::size_t notRepaired = 0;
};

// The order a mismatch line shows its digests in: a folder's check shows the
// recorded one first, a single file's check the one it made.
enum class DigestOrder { StoredFirst, FoundFirst };

class ProblemLog {
public:
    ProblemLog(TesselLibrary::TesselLog& log, const TesselLibrary::TesselApp& strings) : log_(log), strings_(strings) {}

    // One log line: the path (a line break in it shown as "\r" or "\n")
    // followed by string `messageId`.
    void logProblem(const std::u16string& path, std::uint32_t messageId) const;
    // The same with `detail` after the message (a line break in it shown as
    // in a path).
    void logProblem(const std::u16string& path, std::uint32_t messageId, const std::u16string& detail) const;
    // The mismatch line: the path, " - MD5 Mismatch", then the two digests
    // in parentheses, in `order`; for an edited file, then " - Modified "
    // and its local time of `modified`, for a damaged one " - Damaged: Date
    // Unchanged".
    void logMismatch(const std::u16string& path, const std::u16string& stored, const std::u16string& found,
                     Verdict verdict = Verdict::Mismatch, const TesselLibrary::FileTime& modified = {},
                     DigestOrder order = DigestOrder::StoredFirst) const;
    // The line of a verdict that has one of its own (not Good, not a
    // mismatch): the path and the verdict's message.
    void logVerdict(const std::u16string& path, Verdict verdict) const;
    // " - File Not Found" when the path does not exist, " - Error computing
    // MD5" when the file could not be read; nothing for a digest.
    void logDigestFailure(const std::u16string& path, DigestResult result) const;
    // A summary line that names no file: string `messageId` alone on its
    // line, since the line's own bytes may be anything.
    void logInvalidLine(std::uint32_t messageId) const;
    // A line of news: `subject` followed by string `messageId` and `detail`
    // (a line break in either shown as in a path). It does not count as a
    // problem.
    void logNews(const std::u16string& subject, std::uint32_t messageId, const std::u16string& detail = {}) const;

    // "<path> - Repaired from <copy>" and the like: news (the problem it
    // heals was logged before it), counted as a repair; `healed` false: why
    // nothing was written.
    void logHealing(bool healed, const std::u16string& subject, std::uint32_t messageId,
                    const std::u16string& detail = {}) const;
    // The text of string `id`, for a detail made of one.
    std::u16string text(std::uint32_t id) const { return strings_.ResourceString(id); }

    // "<path> - New File": news.
    void logNewFile(const std::u16string& path) const;
    // "<from> - Moved to <to>": a problem, since the summary no longer names
    // where the file is.
    void logMoved(const std::u16string& from, const std::u16string& to) const;

    const LogTally& tally() const { return tally_; }

    // From now on each line also goes to `report` as an object of its own
    // (-j); null: to the log alone.
    void alsoReportTo(JsonReport* report) { report_ = report; }

private:
    // Counts a problem line by its message, and hands it to the report.
    void problemLine(std::uint32_t messageId, const std::u16string& path, const std::u16string& detail = {}) const;

    TesselLibrary::TesselLog& log_;
    const TesselLibrary::TesselApp& strings_;
    mutable LogTally tally_;  // lines are logged by one thread at a time
    JsonReport* report_ = nullptr;
};
