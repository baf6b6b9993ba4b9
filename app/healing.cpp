#include "healing.h"

#include <algorithm>
#include <vector>

#include "local_time.h"
#include "path.h"
#include "string_ids.h"
#include "text.h"

using namespace TesselLibrary;

namespace {

// Batches a check hands over at once, where it has the descriptors for two
// at a time: every batch but the last of them is copied while the one
// before it goes to the disk.
constexpr std::size_t kBatchesAtOnce = 8;

}  // namespace

bool healsVerdict(Verdict verdict) {
    return verdict == Verdict::Damaged || verdict == Verdict::Unreadable || verdict == Verdict::NotFound;
}

Healing healingOf(const CopyResult& result, std::u16string copyPath) {
    Healing healing;
    healing.copyPath = std::move(copyPath);
    const auto set = [&](HealOutcome outcome, std::uint32_t reason) {
        healing.outcome = outcome;
        healing.reason = reason;
    };
    switch (result.outcome) {
        case CopyOutcome::Replaced: set(HealOutcome::Repaired, 0); break;
        case CopyOutcome::Restored: set(HealOutcome::Restored, 0); break;
        case CopyOutcome::CopyMissing: set(HealOutcome::NoGoodCopy, kCopyMissing); break;
        case CopyOutcome::CopyNotAFile: set(HealOutcome::NoGoodCopy, kCopyNotAFile); break;
        case CopyOutcome::CopyUnreadable: set(HealOutcome::NoGoodCopy, kCopyUnreadable); break;
        case CopyOutcome::CopyDiffers:
            set(HealOutcome::NoGoodCopy, 0);
            healing.digits.assign(result.digits, result.digits + 32);
            break;
        case CopyOutcome::Changed: set(HealOutcome::ChangedWhileChecked, 0); break;
        case CopyOutcome::NotKept: set(HealOutcome::NotRepaired, kReplacedNotKept); break;
        case CopyOutcome::NotWritten: set(HealOutcome::NotRepaired, kCopyNotWritten); break;
        // The file is in place: said as healed, with the doubt after it.
        case CopyOutcome::NotOnDisk: set(HealOutcome::Repaired, kHealedNotOnDisk); break;
    }
    return healing;
}

Healer::Healer(const std::u16string& copyFolder, std::shared_ptr<const Folder> root, std::u16string rootPath,
               std::u16string day)
    : copyFolder_(copyFolder),
      copy_(Folder::Open(copyFolder)),
      root_(std::move(root)),
      rootPath_(std::move(rootPath)),
      day_(std::move(day)) {}

std::variant<Healer::Request, Healing> Healer::request(const std::u16string& name, const char (&stored)[32],
                                                       const FileDigest& digest, Verdict verdict,
                                                       const std::optional<FileTime>& recordedDate) const {
    std::u16string below;
    if (IsBelow(name, rootPath_)) below = name.substr(rootPath_.size());
    std::vector<std::u16string> names;
    for (const std::u16string_view each : NamesOf(below)) names.emplace_back(each);
    bool oneNameEach = !names.empty();
    for (const std::u16string& each : names) oneNameEach = oneNameEach && IsOneName(each);
    // A name of .sumvane-replaced itself is never healed into.
    if (!oneNameEach || names.front() == kReplacedFolderName) {
        Healing healing;
        healing.outcome = HealOutcome::NoGoodCopy;
        healing.copyPath = name;
        healing.reason = kNotBelowFolder;
        return healing;
    }
    Request healing;
    CopyRequest& request = healing.copy;
    request.archive = root_;
    request.copy = copy_;
    request.names = names;
    std::copy(stored, stored + 32, request.digits);
    if (verdict != Verdict::NotFound) {
        JudgedFile judged;
        // A file the check could not open has no size or date of it.
        if (verdict == Verdict::Damaged || digest.modified != FileTime{}) {
            judged.size = digest.size;
            judged.modified = digest.modified;
        }
        request.judged = judged;
    }
    request.modified = recordedDate;
    request.keptUnder = {kReplacedFolderName, day_};
    healing.copyPath = JoinPath(copyFolder_, below);
    return healing;
}

void Healer::report(const ProblemLog& problems, const std::u16string& name, const Healing& healing) {
    const auto reason = [&] {
        return u" (" + (healing.reason != 0 ? problems.text(healing.reason) : healing.digits) + u")";
    };
    switch (healing.outcome) {
        case HealOutcome::Repaired:
        case HealOutcome::Restored:
            problems.logNews(name, healing.outcome == HealOutcome::Repaired ? kRepairedFrom : kRestoredFrom,
                             healing.copyPath + (healing.reason != 0 ? reason() : u""));
            break;
        case HealOutcome::NoGoodCopy: problems.logNews(healing.copyPath, kNoGoodCopy, reason()); break;
        case HealOutcome::ChangedWhileChecked: problems.logNews(name, kChangedWhileChecked); break;
        case HealOutcome::NotRepaired: problems.logNews(name, kNotRepaired, reason()); break;
    }
}

HealingShare healingShare(unsigned available) {
    const unsigned share = available / 4;
    const unsigned batch = static_cast<unsigned>(kCopiesAtOnce);
    // Room for two batches, one copied while the other waits for the disk:
    // the files are handed over several batches at a time.
    const unsigned two = batch * (kDescriptorsEachCopy + kDescriptorsEachWaiting);
    if (share >= two) return {kCopiesAtOnce * kBatchesAtOnce, two};
    const unsigned descriptors = std::min(share, batch * kDescriptorsEachCopy);
    return {std::max<std::size_t>(1, descriptors / kDescriptorsEachCopy), descriptors};
}

std::u16string healingDay() { return DateText(LocalDateTime()); }
