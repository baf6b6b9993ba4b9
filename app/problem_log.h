// The lines a run writes into its log, one rule for each kind of problem:
// the only way the jobs and modes reach the log.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/digest_result.h"
#include "run_counts.h"
#include "verdict.h"
#include "tessel_app.h"
#include "tessel_log.h"

class JsonReport;

// The order a mismatch line shows its digests in: a folder's check shows the
// recorded one first, a single file's check the one it made.
enum class DigestOrder { StoredFirst, FoundFirst };

// A mismatch line's two digests, and what tells an edit from damage.
struct Mismatch {
    std::u16string stored;
    std::u16string found;
    Verdict verdict = Verdict::Mismatch;
    TesselLibrary::FileTime modified = {};  // the file's date, for an edit
    DigestOrder order = DigestOrder::StoredFirst;
};

class ProblemLog {
public:
    ProblemLog(TesselLibrary::TesselLog& log, const TesselLibrary::TesselApp& strings) : log_(log), strings_(strings) {}

    // One problem line: the path (a line break in it shown as "\r" or
    // "\n") followed by string `messageId`, then `detail` (a line break in
    // it shown as in a path). Without a path: a summary line that names no
    // file, whose own bytes may be anything, said by its message alone.
    // "<from> - Moved to <to>" is one too, since the summary no longer names
    // where the file is.
    void logProblem(const std::u16string& path, std::uint32_t messageId, const std::u16string& detail = {}) const;
    // The mismatch line: the path, " - MD5 Mismatch", then the two digests
    // in parentheses, in their order; for an edited file, then " - Modified "
    // and its local time, for a damaged one " - Damaged: Date Unchanged".
    void logMismatch(const std::u16string& path, const Mismatch& mismatch) const;
    // A line of news: `subject` followed by string `messageId` and `detail`
    // (a line break in either shown as in a path). It does not count as a
    // problem; a new file ("<path> - New File") and a healing ("<path> -
    // Repaired from <copy>", or why nothing was written) are counted as such.
    void logNews(const std::u16string& subject, std::uint32_t messageId, const std::u16string& detail = {}) const;
    // A problem said on standard error or in a message box, not in the log.
    void countSaidElsewhere() const { ++counts_.saidElsewhere; }

    // The text of string `id`, for a detail made of one.
    std::u16string text(std::uint32_t id) const { return strings_.ResourceString(id); }
    // What the run has logged and said so far.
    const RunCounts& counts() const { return counts_; }

    // From now on each line also goes to `report` as an object of its own
    // (-j); null: to the log alone.
    void alsoReportTo(JsonReport* report) { report_ = report; }

private:
    TesselLibrary::TesselLog& log_;
    const TesselLibrary::TesselApp& strings_;
    mutable RunCounts counts_;  // lines are logged by one thread at a time
    JsonReport* report_ = nullptr;
};

// The line of a verdict that has one of its own (not Good, not a mismatch):
// the path and the verdict's message; " - File Not Found" and " - Error
// computing MD5" for a digest that could not be made.
void logVerdict(const ProblemLog& problems, const std::u16string& path, Verdict verdict);
