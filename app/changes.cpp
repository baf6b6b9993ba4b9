#include "changes.h"

#include <algorithm>
#include <map>

#include "name_compare.h"
#include "string_ids.h"
#include "summary_format.h"

namespace {

// The digits in upper case, as digests are compared.
std::string Key(const char (&digits)[32]) {
    std::string key(digits, digits + 32);
    std::transform(key.begin(), key.end(), key.begin(), upperHexLetter);
    return key;
}

}  // namespace

std::vector<std::optional<std::size_t>> pairMoves(const std::vector<Change>& changes) {
    struct Ends {
        std::vector<std::size_t> gone;
        std::vector<std::size_t> added;
    };
    std::map<std::string, Ends> byDigest;
    for (std::size_t i = 0; i < changes.size(); ++i) {
        const Change& change = changes[i];
        // An empty file's digest is every empty file's: it tells nothing.
        if (change.kind == Change::Kind::New && change.bytes == 0) continue;
        Ends& ends = byDigest[Key(change.digits)];
        (change.kind == Change::Kind::Gone ? ends.gone : ends.added).push_back(i);
    }
    std::vector<std::optional<std::size_t>> other(changes.size());
    for (const auto& [digest, ends] : byDigest) {
        if (ends.gone.empty() || ends.added.size() != 1) continue;
        // A file the summary lists twice is one file gone, not two.
        const std::u16string gonePath = TesselLibrary::NameKey(changes[ends.gone[0]].path);
        const bool oneFile = std::all_of(ends.gone.begin(), ends.gone.end(), [&](std::size_t i) {
            return TesselLibrary::NameKey(changes[i].path) == gonePath;
        });
        if (!oneFile) continue;
        for (const std::size_t gone : ends.gone) other[gone] = ends.added[0];
        other[ends.added[0]] = ends.gone[0];
    }
    return other;
}

void Changes::gone(const std::u16string& path, const char (&recorded)[32]) {
    Change change{Change::Kind::Gone, path, {}, 0};
    std::copy(recorded, recorded + 32, change.digits);
    changes_.push_back(std::move(change));
}

void Changes::added(const std::u16string& path, const char (&computed)[32], std::uint64_t bytes) {
    Change change{Change::Kind::New, path, {}, bytes};
    std::copy(computed, computed + 32, change.digits);
    changes_.push_back(std::move(change));
    anyNew_ = true;
}

void Changes::report(const ProblemLog& problems) const {
    const std::vector<std::optional<std::size_t>> moves = pairMoves(changes_);
    for (std::size_t i = 0; i < changes_.size(); ++i) {
        const Change& change = changes_[i];
        if (change.kind == Change::Kind::New) {
            if (!moves[i]) problems.logNews(change.path, kNewFile);
            continue;
        }
        if (moves[i]) {
            // Said once for a file listed more than once.
            if (moves[*moves[i]] == i) problems.logProblem(change.path, kMovedTo, changes_[*moves[i]].path);
        } else {
            problems.logProblem(change.path, kFileNotFound);
        }
    }
}
