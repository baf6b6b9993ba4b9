#include "budgeted_folder.h"

#include "digest_pipeline.h"

using namespace TesselLibrary;

namespace {

// A folder that gives its token back when the last holder lets go: the
// walk, and every item still in the line whose file is in it.
std::shared_ptr<const Folder> Budgeted(std::shared_ptr<Folder> folder, DescriptorToken token) {
    struct Held {
        std::shared_ptr<Folder> folder;
        DescriptorToken token;
    };
    auto held = std::make_shared<Held>(Held{std::move(folder), std::move(token)});
    return std::shared_ptr<const Folder>(held, held->folder.get());
}

}  // namespace

std::shared_ptr<const Folder> OpenBudgetedChild(const Folder& parent, const std::u16string& name,
                                                const FolderBudgetWay& way, FolderProblem* problem) {
    DescriptorBudget& folders = way.folders;
    const auto letOneGo = [&] { return way.letOneGo(); };
    const auto stopping = [&] { return way.stopping(); };
    while (!folders.TryTake()) {
        if (letOneGo()) continue;
        // The rest are held by files still in the line; they come back as
        // those are done.
        if (stopping()) throw PipelineStopped{};
        folders.WaitForGive(DescriptorBudget::kPause);
    }
    DescriptorToken token(folders);
    // Once none of the caller's own can be let go, those it still holds
    // (this token, and its parent's) do not come back while it waits.
    DescriptorWait wait(folders, way.parentHeld ? 2 : 1);
    for (;;) {
        FolderProblem why = FolderProblem::None;
        std::shared_ptr<Folder> child = parent.OpenChild(name, &why);
        if (problem) *problem = why;
        if (child) return Budgeted(std::move(child), std::move(token));
        if (why != FolderProblem::NoDescriptor) return nullptr;
        if (letOneGo()) continue;
        if (stopping()) throw PipelineStopped{};
        if (!wait.Again()) return nullptr;
    }
}
