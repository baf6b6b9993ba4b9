#include "relocation.h"

#include <algorithm>

#include "path.h"
#include "platform.h"

using namespace TesselLibrary;

namespace {

// A folder an entry's file may have been recorded under, and how many of
// the entries are found when their names are taken as below it.
struct Candidate {
    std::u16string folder;
    std::size_t answers = 0;
};

// Every folder on the paths of `names`, the deepest first, with the
// entries each answers for: the file found at `folderPath` plus the path
// below that folder. `andCurrent`: each name is also tried as written,
// from the current folder.
void CountAnswers(const std::vector<std::u16string>& names, bool andCurrent, const std::u16string& folderPath,
                  const std::function<bool(const std::u16string& path)>& exists, std::vector<Candidate>& candidates) {
    const auto answer = [&](const std::u16string& folder, const std::u16string& below) {
        auto at =
            std::find_if(candidates.begin(), candidates.end(), [&](const Candidate& c) { return c.folder == folder; });
        if (at == candidates.end()) at = candidates.insert(candidates.end(), Candidate{folder, 0});
        if (exists(folderPath + below)) ++at->answers;
    };
    for (const std::u16string& name : names) {
        for (std::size_t end = name.size(); end-- > 0;) {
            if (IsPathSeparator(name[end]) && end + 1 != name.size())
                answer(name.substr(0, end + 1), name.substr(end + 1));
        }
        if (andCurrent) answer(u"", name);
    }
}

}  // namespace

std::u16string Relocation::apply(const std::u16string& name) const {
    // F may lie below R (a copy kept inside the original): what is below F
    // already stays.
    if (!active() || IsBelow(name, to_)) return name;
    if (IsBelow(name, from_)) return to_ + name.substr(from_.size());
    // md5sum's line for a name below R: the name it means moves with it,
    // so that none of the entry's readings is looked for at R.
    if (isMd5sumRelativeName(name) && IsBelow(name.substr(1), from_)) return to_ + name.substr(1 + from_.size());
    return name;
}

void Relocation::apply(SummaryEntry& entry) const {
    if (!active()) return;
    entry.name = apply(entry.name);
    for (std::u16string& other : entry.otherReadings) other = apply(other);
}

void RelocationFinder::consider(const SummaryEntry& entry) {
    // md5sum's mark before a relative name: the name it means decides.
    const std::u16string name = isMd5sumRelativeName(entry.name) ? entry.name.substr(1) : entry.name;
    const bool whole = IsAbsolutePath(name);
    anyWhole_ = anyWhole_ || whole;
    if (IsBelow(name, folderPath_)) {
        inside_.push_back(name.substr(folderPath_.size()));
        return;
    }
    (whole ? outside_ : relative_).push_back(name);
}

RelocationDecision RelocationFinder::decide(
    const std::function<bool(const std::u16string& path)>& exists,
    const std::function<bool(const std::u16string& folder)>& sameAsChecked) const {
    std::vector<Candidate> candidates;
    CountAnswers(outside_, false, folderPath_, exists, candidates);
    // Relative names take part only where no name is a whole path.
    const bool relativeTakePart = !anyWhole_ && !relative_.empty();
    if (relativeTakePart) CountAnswers(relative_, true, folderPath_, exists, candidates);
    RelocationDecision decision;
    std::size_t best = 0;
    for (const Candidate& c : candidates) best = std::max(best, c.answers);
    if (best == 0) {
        decision.unanswered = !outside_.empty() || relativeTakePart;
        return decision;
    }
    // The entries below F found where they are written say it was recorded
    // there: a folder elsewhere must answer for more of them to move it.
    const std::size_t asWritten = static_cast<std::size_t>(std::count_if(
        inside_.begin(), inside_.end(), [&](const std::u16string& below) { return exists(folderPath_ + below); }));
    if (asWritten >= best) return decision;
    for (const Candidate& c : candidates) {
        if (c.answers == best) decision.candidates.push_back(c.folder);
    }
    // Relative names that answer as well from the current folder as from
    // any folder on their paths are taken as written.
    if (std::find(decision.candidates.begin(), decision.candidates.end(), u"") != decision.candidates.end())
        decision.candidates = {u""};
    std::stable_sort(decision.candidates.begin(), decision.candidates.end(),
                     [](const std::u16string& a, const std::u16string& b) { return a.size() > b.size(); });
    if (decision.candidates.size() > 1) {
        decision.kind = RelocationDecision::Kind::Undecided;
        return decision;
    }
    const std::u16string folder = std::move(decision.candidates.front());
    decision.candidates.clear();
    if (sameAsChecked(folder)) {
        decision.spelledAs = folder;
        return decision;
    }
    decision.kind = RelocationDecision::Kind::Moved;
    decision.recordedUnder = folder;
    decision.relocation = Relocation(folder, folderPath_);
    return decision;
}

std::u16string shownFolder(const std::u16string& folderPath) {
    return folderPath.empty() ? u"." : WithoutLastSeparators(folderPath);
}
