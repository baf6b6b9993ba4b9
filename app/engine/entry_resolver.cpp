#include "entry_resolver.h"

#include "budgeted_folder.h"
#include "platform.h"
#include "path.h"

using namespace TesselLibrary;

namespace {

// The names of a relative path; nothing when one of its folders is empty,
// "." or "..", which would lead outside the plain walk down from the root.
bool SplitNames(const std::u16string& rest, std::vector<std::u16string>& names) {
    names.clear();
    for (const std::u16string_view name : NamesOf(rest)) names.emplace_back(name);
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::u16string& name = names[i];
        if (name.empty() || (i + 1 < names.size() && (name == u"." || name == u".."))) return false;
    }
    return names.back() != u"." && names.back() != u"..";
}

}  // namespace

EntryResolver::EntryResolver(std::shared_ptr<const Folder> root, std::u16string rootPath, DescriptorBudget& folders,
                             std::shared_ptr<const OwnerReads> reads)
    : root_(std::move(root)), reads_(std::move(reads)), rootText_(std::move(rootPath)), folders_(folders) {}

const Folder* EntryResolver::Parent(std::size_t level) const {
    return level == 0 ? root_.get() : chain_[level - 1].folder.get();
}

// Any held folder above the one in use: the walk goes down from there.
bool EntryResolver::LetOneGo(std::size_t keep) { return keep > 0 && LetGoNearestRoot(chain_, 0, keep - 1); }

FilePlace EntryResolver::Locate(const std::u16string& path, const std::function<bool()>& stopping) {
    FilePlace place = LocateBelowRoot(path, stopping);
    place.owner = reads_;
    return place;
}

FilePlace EntryResolver::LocateBelowRoot(const std::u16string& path, const std::function<bool()>& stopping) {
    FilePlace asWritten{nullptr, path, FilePlace::Reach::Open, nullptr};
    if (!root_) return asWritten;
    std::u16string rest;
    if (rootText_.empty()) {
        if (IsAbsolutePath(path)) return asWritten;
        rest = path;
    } else {
        if (path.size() <= rootText_.size() || path.compare(0, rootText_.size(), rootText_) != 0) return asWritten;
        rest = path.substr(rootText_.size());
    }
    std::vector<std::u16string> names;
    if (!SplitNames(rest, names)) return asWritten;

    const std::size_t folders = names.size() - 1;
    std::size_t common = 0;
    while (common < folders && common < chain_.size() && chain_[common].name == names[common]) ++common;
    chain_.resize(common);
    // A folder on the way that could not be opened answers for every file
    // below it.
    for (const Step& step : chain_) {
        if (step.reach != FilePlace::Reach::Open) return FilePlace{nullptr, path, step.reach, nullptr};
    }
    // Down from the deepest folder still held; the ones let go below it are
    // opened again by name.
    std::size_t level = common;
    while (level > 0 && !chain_[level - 1].folder) --level;
    for (; level < folders; ++level) {
        FolderProblem problem = FolderProblem::None;
        std::shared_ptr<const Folder> folder = OpenBudgetedChild(
            *Parent(level), names[level], {folders_, level > 0, [&] { return LetOneGo(level); }, stopping}, &problem);
        Step step{names[level], folder, FilePlace::Reach::Open};
        if (!folder) {
            // Missing, a file, or a link in a folder's place: the file is
            // not where the summary says. No access: it cannot be read.
            step.reach =
                problem == FolderProblem::Unreadable ? FilePlace::Reach::Unreadable : FilePlace::Reach::NotFound;
        }
        if (level < chain_.size()) {
            chain_[level] = std::move(step);
        } else {
            chain_.push_back(std::move(step));
        }
        if (!folder) {
            chain_.resize(level + 1);
            return FilePlace{nullptr, path, chain_[level].reach, nullptr};
        }
    }
    return FilePlace{folders == 0 ? root_ : chain_[folders - 1].folder, names.back(), FilePlace::Reach::Open, nullptr};
}
