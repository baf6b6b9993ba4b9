#include "tree_walk.h"

#include "budgeted_folder.h"
#include "file_dates.h"
#include "leftover_dates.h"
#include "leftover_place.h"
#include "leftover_summary.h"
#include "path.h"
#include "platform.h"
#include "replacement_file.h"
#include "same_name.h"
#include "slice_place.h"

using namespace TesselLibrary;

namespace {

void PushUnreadable(ItemSink<BuildItem>& sink, const std::u16string& path) {
    DigestTask nothing;
    nothing.hash = false;
    sink.push(BuildItem{BuildItem::Kind::UnreadableFolder, path, path, 0}, std::move(nothing));
}

}  // namespace

bool FitsOnOneLine(const std::u16string& path) { return path.find_first_of(u"\r\n") == std::u16string::npos; }

TreeWalk::TreeWalk(std::shared_ptr<const Folder> root, TreeWalkSettings settings, DescriptorBudget& folders)
    : root_(std::move(root)), owner_(root_ ? OwnerReads::For(*root_) : nullptr), settings_(std::move(settings)),
      folders_(folders) {}

bool TreeWalk::Excluded(const std::u16string& path) const {
    for (const std::u16string& entry : settings_.excludedFolders) {
        if (sameNameIgnoringCase(entry, path)) return true;
    }
    return false;
}

// Neither the summary nor its rewrite is a file of the tree, in any folder;
// nor is the record of each file's date beside either, nor the place a check
// in slices keeps beside it.
bool TreeWalk::IsSummary(const std::u16string& name) const {
    const std::u16string& summary = settings_.summaryName;
    return sameNameIgnoringCase(summary, name) || sameNameIgnoringCase(RewriteName(summary), name) ||
           sameNameIgnoringCase(FileDatesName(summary), name) ||
           sameNameIgnoringCase(FileDatesName(RewriteName(summary)), name) ||
           sameNameIgnoringCase(SlicePlaceName(summary), name);
}

// Nor are the temporary files of their replacements and of the place, which
// are made in the root alone: one a live run is writing, and one a killed run
// left (which is removed). A file that merely has such a name, there or
// anywhere else, is someone's own, and is recorded like any other.
bool TreeWalk::IsLeftOutOfTheRoot(const Folder& root, const std::u16string& name) const {
    const std::u16string& summary = settings_.summaryName;
    if (!IsTemporaryName(name, summary) && !IsTemporaryName(name, RewriteName(summary))) return false;
    LeftoverSummary lines;
    if (RemoveLeftoverTemporaryFile(root, name, lines) != TemporaryFound::Other) return true;
    LeftoverPlace place;
    if (RemoveLeftoverTemporaryFile(root, name, place) != TemporaryFound::Other) return true;
    LeftoverDates dates;
    return RemoveLeftoverTemporaryFile(root, name, dates) != TemporaryFound::Other;
}

void TreeWalk::Run(ItemSink<BuildItem>& sink) {
    // The root is compared with the exclusions as it was typed.
    if (Excluded(settings_.folder)) return;
    const std::u16string& rootPath = settings_.rootPath;
    if (!root_) {
        PushUnreadable(sink, rootPath);
        return;
    }
    Visit(Frame{root_, u"", rootPath, root_->identity(), {}, {}, 0}, sink);
    while (!frames_.empty()) {
        const std::size_t top = frames_.size() - 1;
        if (frames_[top].next >= frames_[top].subfolders.size()) {
            frames_.pop_back();
            continue;
        }
        const std::u16string name = frames_[top].listing.name(frames_[top].subfolders[frames_[top].next++]);
        share_ = SharePassed();
        if (Excluded(JoinPath(frames_[top].path, name))) continue;
        if (!frames_[top].folder && !Reopen(top, sink)) {
            // Not the folder it was, or gone: what is left below it cannot
            // be reached.
            PushUnreadable(sink, frames_[top].path);
            frames_.pop_back();
            continue;
        }
        std::shared_ptr<const Folder> child = OpenChild(top, name, sink);
        std::u16string path = SubfolderPath(frames_[top].path, name);
        if (!child) {
            // Gone, or no longer a folder: a link put in its place since it
            // was listed is never entered.
            PushUnreadable(sink, path);
            continue;
        }
        const FileIdentity identity = child->identity();
        Visit(Frame{std::move(child), name, std::move(path), identity, {}, {}, 0}, sink);
    }
    share_ = 1;
}

// The subfolders done at each level, each level a part of the one above:
// three of the root's twelve subfolders done and half of the fourth's is
// 3.5/12. A folder without subfolders is done once it is listed.
double TreeWalk::SharePassed() const {
    double share = 0;
    double part = 1;
    for (const Frame& frame : frames_) {
        if (frame.subfolders.empty()) return share + part;
        const double count = static_cast<double>(frame.subfolders.size());
        share += part * static_cast<double>(frame.next > 0 ? frame.next - 1 : 0) / count;
        part /= count;
    }
    return share;
}

void TreeWalk::Visit(Frame frame, ItemSink<BuildItem>& sink) {
    const bool isRoot = frames_.empty();
    FolderListing& listing = frame.listing;
    if (!frame.folder->List(listing, settings_.sizes)) PushUnreadable(sink, frame.path);
    // What the folder holds is known before its files go down the line: its
    // subfolders, and its files to count as found.
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
    std::vector<std::uint32_t> leftOut;  // files not recorded, in order
    for (std::uint32_t i = 0; i < listing.size(); ++i) {
        if (listing.isDirectory(i)) {
            // A linked folder may lead anywhere, back up the tree included:
            // it is never entered; nor is a folder whose name starts with ".".
            const std::u16string name = listing.name(i);
            if (settings_.recursive && !listing.isLink(i) && !name.empty() && name[0] != u'.')
                frame.subfolders.push_back(i);
            continue;
        }
        const std::u16string name = listing.name(i);
        if (IsSummary(name) || (isRoot && IsLeftOutOfTheRoot(*frame.folder, name))) {
            leftOut.push_back(i);
        } else {
            ++files;
            bytes += listing.fileSize(i);
        }
    }
    frames_.push_back(std::move(frame));
    filesFound_ += files;
    bytesFound_ += bytes;
    share_ = SharePassed();
    PushFiles(frames_.back(), leftOut, sink);
}

// The files of a folder just listed, in its order, those left out aside. A
// file whose path does not fit on one line of the summary goes as such, and
// no longer counts as found.
void TreeWalk::PushFiles(const Frame& listed, const std::vector<std::uint32_t>& leftOut, ItemSink<BuildItem>& sink) {
    std::size_t skip = 0;
    for (std::uint32_t i = 0; i < listed.listing.size(); ++i) {
        if (skip < leftOut.size() && leftOut[skip] == i) {
            ++skip;
            continue;
        }
        if (listed.listing.isDirectory(i)) continue;
        std::u16string name = listed.listing.name(i);
        const std::uint64_t size = listed.listing.fileSize(i);
        BuildItem item{BuildItem::Kind::File, JoinPath(listed.path, name), listed.path, size};
        DigestTask task;
        if (FitsOnOneLine(item.path)) {
            task.file.folder = listed.folder;
            task.file.name = std::move(name);
            task.file.owner = owner_;
        } else {
            item.kind = BuildItem::Kind::UnwritableName;
            task.hash = false;
            filesFound_ -= 1;
            bytesFound_ -= item.size;
        }
        sink.push(std::move(item), std::move(task));
    }
}

// Never the root, which every reopening starts from.
bool TreeWalk::LetOneGo(std::size_t keep) { return LetGoNearestRoot(frames_, 1, keep); }

std::shared_ptr<const Folder> TreeWalk::OpenChild(std::size_t parent, const std::u16string& name,
                                                  ItemSink<BuildItem>& sink) {
    return OpenBudgetedChild(*frames_[parent].folder, name,
                             {folders_, parent > 0, [&] { return LetOneGo(parent); }, [&] { return sink.stopping(); }});
}

bool TreeWalk::Reopen(std::size_t index, ItemSink<BuildItem>& sink) {
    std::size_t held = index;
    while (!frames_[held].folder) --held;  // the root is always held
    for (std::size_t k = held + 1; k <= index; ++k) {
        std::shared_ptr<const Folder> again = OpenChild(k - 1, frames_[k].name, sink);
        if (!again || again->identity() != frames_[k].identity) return false;
        frames_[k].folder = std::move(again);
    }
    return true;
}
