#include "walk_frames.h"

#include "budgeted_folder.h"
#include "tree_walk.h"

using namespace TesselLibrary;

// The subfolders done at each level, each level a part of the one above:
// three of the root's twelve subfolders done and half of the fourth's is
// 3.5/12. A folder without subfolders is done once it is listed.
double WalkFrames::SharePassed() const {
    double share = 0;
    double part = 1;
    for (const WalkFrame& frame : frames) {
        if (frame.subfolders.empty()) return share + part;
        const double count = static_cast<double>(frame.subfolders.size());
        share += part * static_cast<double>(frame.next > 0 ? frame.next - 1 : 0) / count;
        part /= count;
    }
    return share;
}

// Never the root, which every reopening starts from.
bool WalkFrames::LetOneGo(std::size_t keep) { return LetGoNearestRoot(frames, 1, keep); }

std::shared_ptr<const Folder> WalkFrames::OpenChild(std::size_t parent, const std::u16string& name,
                                                    ItemSink<BuildItem>& sink) {
    return OpenBudgetedChild(*frames[parent].folder, name,
                             {folders, parent > 0, [&] { return LetOneGo(parent); }, [&] { return sink.stopping(); }});
}

bool WalkFrames::Reopen(std::size_t index, ItemSink<BuildItem>& sink) {
    std::size_t held = index;
    while (!frames[held].folder) --held;  // the root is always held
    for (std::size_t k = held + 1; k <= index; ++k) {
        std::shared_ptr<const Folder> again = OpenChild(k - 1, frames[k].name, sink);
        if (!again || again->identity() != frames[k].identity) return false;
        frames[k].folder = std::move(again);
    }
    return true;
}
