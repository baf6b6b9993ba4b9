// A folder's summary checked where the folder is now. A summary holds each
// file's path as typed when it was built (R, the folder it was recorded
// under); an archive copied or moved whole, or a disk that came back under
// another drive letter, keeps those paths. Checked with its own summary, each
// entry below R is checked at its place below the folder checked (F), never
// at R: a verdict on the original would be a verdict on something else.
//
// R is decided once per run, before any file is checked, from the first
// entries of the summary and from what exists below F; the result is then
// applied to every entry's name as it is read, so that the checks, the log
// and the rewrite all see the names below F. Entries outside R stay as
// written.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "summary_format.h"

class Relocation {
public:
    Relocation() = default;  // none: every name as written
    // `from`, R, and `to`, F, each as the paths below it start (R empty: the
    // current folder, which relative names lie below).
    Relocation(std::u16string from, std::u16string to) : from_(std::move(from)), to_(std::move(to)), active_(true) {}

    bool active() const { return active_; }
    // A name below R as it is below F; any other name as written.
    std::u16string apply(const std::u16string& name) const;
    // The entry's name and its other readings.
    void apply(SummaryEntry& entry) const;

private:
    std::u16string from_;
    std::u16string to_;
    bool active_ = false;
};

// What the start of the summary and the folder say about R.
struct RelocationDecision {
    enum class Kind {
        AsWritten,  // the entries lie below F, or nothing below F answers to them
        Moved,      // one folder R answers best: `recordedUnder`
        Undecided,  // several answer equally well: `candidates`, checked as written
    } kind = Kind::AsWritten;
    std::u16string recordedUnder;            // R, with its separator
    std::vector<std::u16string> candidates;  // with their separators, deepest first
    Relocation relocation;
    bool unanswered = false;  // entries lie outside F, and none of them was found below it
    // AsWritten because the folder that answers is F under another spelling
    // (a link, another letter case, the current folder): that spelling, with
    // its separator (empty: the current folder). A walk of F is compared
    // with the entries in it.
    std::optional<std::u16string> spelledAs;
    // The folder a walk of F with -a is compared with the entries in:
    // `spelledAs` when there is one, else `folderPath` (F as the paths below
    // it start).
    std::u16string walkRoot(const std::u16string& folderPath) const { return spelledAs.value_or(folderPath); }
};

class RelocationFinder {
public:
    // Lines of the summary's start looked at; a summary whose first entries
    // lie below F is taken as recorded there. When none of them is found
    // below F, more are looked at: a copy may have lost its first files.
    static constexpr std::size_t kLinesLookedAt = 64;
    static constexpr std::size_t kLinesLookedAtMost = 4096;

    // `folderPath`: F as the paths below it start (empty: the current folder).
    explicit RelocationFinder(std::u16string folderPath) : folderPath_(std::move(folderPath)) {}

    // Offered the entries of the summary's first lines, in order.
    void consider(const SummaryEntry& entry);

    // Each folder the looked-at entries lie below is a candidate for R; it
    // answers for an entry when `exists` finds the entry's place below F.
    // F itself answers for each entry below it that is found where it is
    // written, and wins whenever it answers as well as any other: a few
    // lines added by hand to a folder's own summary never move it. Else
    // the candidate that answers for most decides, unless `sameAsChecked`
    // says it is F itself under another spelling (a link, another letter
    // case): then nothing moved.
    RelocationDecision decide(const std::function<bool(const std::u16string& path)>& exists,
                              const std::function<bool(const std::u16string& folder)>& sameAsChecked) const;

private:
    std::u16string folderPath_;
    std::vector<std::u16string> inside_;    // entries below F, as the paths below it go on
    std::vector<std::u16string> outside_;   // entries not below F, whole paths
    std::vector<std::u16string> relative_;  // entries not below F, relative
    // A summary holding whole paths was not built with a relative folder:
    // its relative names are found from the current folder, as written.
    bool anyWhole_ = false;
};

// A folder as a log line names it: without its last separator, unless it
// is all there is ("/", "D:\"); "." for the current folder.
std::u16string shownFolder(const std::u16string& folderPath);
