#include "tree_walk.h"

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

bool Excluded(const TreeWalkSettings& settings, const std::u16string& path) {
    for (const std::u16string& entry : settings.excludedFolders) {
        if (sameNameIgnoringCase(entry, path)) return true;
    }
    return false;
}

// Neither the summary nor its rewrite is a file of the tree, in any folder;
// nor is the record of each file's date beside either, nor the place a check
// in slices keeps beside it.
bool IsSummary(const std::u16string& summary, const std::u16string& name) {
    return sameNameIgnoringCase(summary, name) || sameNameIgnoringCase(RewriteName(summary), name) ||
           sameNameIgnoringCase(FileDatesName(summary), name) ||
           sameNameIgnoringCase(FileDatesName(RewriteName(summary)), name) ||
           sameNameIgnoringCase(SlicePlaceName(summary), name);
}

// Nor are the temporary files of their replacements and of the place, which
// are made in the root alone: one a live run is writing, and one a killed run
// left (which is removed). A file that merely has such a name, there or
// anywhere else, is someone's own, and is recorded like any other.
bool IsLeftOutOfTheRoot(const Folder& root, const std::u16string& summary, const std::u16string& name) {
    if (!IsTemporaryName(name, summary) && !IsTemporaryName(name, RewriteName(summary))) return false;
    LeftoverSummary lines;
    if (RemoveLeftoverTemporaryFile(root, name, lines) != TemporaryFound::Other) return true;
    LeftoverPlace place;
    if (RemoveLeftoverTemporaryFile(root, name, place) != TemporaryFound::Other) return true;
    LeftoverDates dates;
    return RemoveLeftoverTemporaryFile(root, name, dates) != TemporaryFound::Other;
}

}  // namespace

bool FitsOnOneLine(const std::u16string& path) { return path.find_first_of(u"\r\n") == std::u16string::npos; }

TreeWalk::TreeWalk(std::shared_ptr<const Folder> root, TreeWalkSettings settings, DescriptorBudget& folders)
    : root_(std::move(root)),
      owner_(root_ ? OwnerReads::For(*root_) : nullptr),
      settings_(std::move(settings)),
      walk_{folders, {}} {}

void TreeWalk::Run(ItemSink<BuildItem>& sink) {
    // The root is compared with the exclusions as it was typed.
    if (Excluded(settings_, settings_.folder)) return;
    const std::u16string& rootPath = settings_.rootPath;
    if (!root_) {
        PushUnreadable(sink, rootPath);
        return;
    }
    Visit(WalkFrame{root_, u"", rootPath, root_->identity(), {}, {}, 0}, sink);
    while (!walk_.frames.empty()) {
        const std::size_t top = walk_.frames.size() - 1;
        WalkFrame& frame = walk_.frames[top];  // until the child is visited, which may move the frames
        if (frame.next >= frame.subfolders.size()) {
            walk_.frames.pop_back();
            continue;
        }
        const std::u16string name = frame.listing.name(frame.subfolders[frame.next++]);
        found_.share = walk_.SharePassed();
        if (Excluded(settings_, JoinPath(frame.path, name))) continue;
        if (!frame.folder && !walk_.Reopen(top, sink)) {
            // Not the folder it was, or gone: what is left below it cannot
            // be reached.
            PushUnreadable(sink, frame.path);
            walk_.frames.pop_back();
            continue;
        }
        std::shared_ptr<const Folder> child = walk_.OpenChild(top, name, sink);
        std::u16string path = SubfolderPath(frame.path, name);
        if (!child) {
            // Gone, or no longer a folder: a link put in its place since it
            // was listed is never entered.
            PushUnreadable(sink, path);
            continue;
        }
        const FileIdentity identity = child->identity();
        Visit(WalkFrame{std::move(child), name, std::move(path), identity, {}, {}, 0}, sink);
    }
    found_.share = 1;
}

void TreeWalk::Visit(WalkFrame frame, ItemSink<BuildItem>& sink) {
    const bool isRoot = walk_.frames.empty();
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
        if (IsSummary(settings_.summaryName, name) ||
            (isRoot && IsLeftOutOfTheRoot(*frame.folder, settings_.summaryName, name))) {
            leftOut.push_back(i);
        } else {
            ++files;
            bytes += listing.fileSize(i);
        }
    }
    walk_.frames.push_back(std::move(frame));
    found_.files += files;
    found_.bytes += bytes;
    found_.share = walk_.SharePassed();
    PushFiles(walk_.frames.back(), leftOut, sink);
}

// The files of a folder just listed, in its order, those left out aside. A
// file whose path does not fit on one line of the summary goes as such, and
// no longer counts as found.
void TreeWalk::PushFiles(const WalkFrame& listed, const std::vector<std::uint32_t>& leftOut,
                         ItemSink<BuildItem>& sink) {
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
            found_.files -= 1;
            found_.bytes -= item.size;
        }
        sink.push(std::move(item), std::move(task));
    }
}
