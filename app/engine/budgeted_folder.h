// Opening folders within the job's budget of folder descriptors.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "descriptor_budget.h"
#include "folder.h"

// How an open of a folder keeps within the budget of `folders`. When no
// token is free (or the process has no descriptor free), `letOneGo` is
// asked to give up one of the caller's own folders; when it has none, the
// open waits for one to come back, asking `stopping` meanwhile (then
// PipelineStopped is thrown). `parentHeld`: the parent holds a token of
// `folders` itself, which does not come back while the open waits.
struct FolderBudgetWay {
    DescriptorBudget& folders;
    bool parentHeld;
    std::function<bool()> letOneGo;
    std::function<bool()> stopping;
};

// `name` in `parent`, never through a link, holding one token of the
// budget until the last holder of the result lets go. Null when the folder
// cannot be opened; `problem` says why.
std::shared_ptr<const TesselLibrary::Folder> OpenBudgetedChild(const TesselLibrary::Folder& parent,
                                                               const std::u16string& name, const FolderBudgetWay& way,
                                                               TesselLibrary::FolderProblem* problem = nullptr);

// What a caller of OpenBudgetedChild gives up first: of the folders it holds
// on its way down from the root, `levels[first]` to `levels[end - 1]` (each
// with a `folder` that is null once let go), the one nearest the root, which
// is needed again last. False when none of them is held.
template <typename Levels>
bool LetGoNearestRoot(Levels& levels, std::size_t first, std::size_t end) {
    for (std::size_t i = first; i < end && i < levels.size(); ++i) {
        if (levels[i].folder) {
            levels[i].folder.reset();
            return true;
        }
    }
    return false;
}
