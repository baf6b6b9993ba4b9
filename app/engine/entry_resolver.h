// Where the verification finds the file a summary line names. A path below
// the folder the run resolved is followed from that folder name by name,
// never through a link (as the build never entered a linked folder), so no
// change of a path after the start can redirect a read; its last name may be
// a link to a file, as the build hashed it. Any other path (a summary made
// elsewhere) is opened as it is written.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "descriptor_budget.h"
#include "digest_task.h"
#include "folder.h"

class EntryResolver {
public:
    // `rootPath`: the root as the summary's paths start (the folder the
    // command line gave, with its separator). `reads`: how what lies outside
    // the root is read (owner_reads.h; a summary may name any file); null
    // where nothing is to be done, or where no file is read.
    EntryResolver(std::shared_ptr<const TesselLibrary::Folder> root, std::u16string rootPath, DescriptorBudget& folders,
                  std::shared_ptr<const TesselLibrary::OwnerReads> reads);

    // Consecutive entries of one folder share its descriptor. `stopping` as
    // for OpenBudgetedChild.
    FilePlace Locate(const std::u16string& path, const std::function<bool()>& stopping);

private:
    FilePlace LocateBelowRoot(const std::u16string& path, const std::function<bool()>& stopping);

    struct Step {
        std::u16string name;
        std::shared_ptr<const TesselLibrary::Folder> folder;  // null: let go, or could not be opened
        FilePlace::Reach reach = FilePlace::Reach::Open;      // not Open: could not be opened
    };

    const TesselLibrary::Folder* Parent(std::size_t level) const;
    // Lets go of one held folder above chain_[keep - 1]; false when none.
    bool LetOneGo(std::size_t keep);

    std::shared_ptr<const TesselLibrary::Folder> root_;
    std::shared_ptr<const TesselLibrary::OwnerReads> reads_;
    std::u16string rootText_;
    DescriptorBudget& folders_;
    std::vector<Step> chain_;  // the folders of the last path below the root, outermost first
};
