// The folders of the walk from the root down to the one it is in, each with
// how far its subfolders have been visited. They hold the walk's folder
// descriptors: when the budget runs short, one near the root is let go, and
// opened again, name by name, when the walk comes back into it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "descriptor_budget.h"
#include "digest_pipeline.h"
#include "folder.h"

struct BuildItem;

// One folder on the way down.
struct WalkFrame {
    std::shared_ptr<const TesselLibrary::Folder> folder;  // null while let go
    std::u16string name;                                  // within the folder above
    std::u16string path;                                  // ending in the separator
    TesselLibrary::FileIdentity identity;
    TesselLibrary::FolderListing listing;
    std::vector<std::uint32_t> subfolders;  // the entries to visit, in order
    std::size_t next = 0;
};

struct WalkFrames {
    // How much of the tree is behind the walk, 0 to 1.
    double SharePassed() const;
    // Opens `name` below the folder of frames[parent], letting a folder
    // above go when the budget has none left.
    std::shared_ptr<const TesselLibrary::Folder> OpenChild(std::size_t parent, const std::u16string& name,
                                                           ItemSink<BuildItem>& sink);
    // Opens again the folders let go down to frames[index]; false when one
    // is not the folder it was, or gone.
    bool Reopen(std::size_t index, ItemSink<BuildItem>& sink);
    // Lets go of the folder of one frame above `keep` (not the root); false
    // when none is held.
    bool LetOneGo(std::size_t keep);

    DescriptorBudget& folders;
    std::vector<WalkFrame> frames;  // the root first
};
