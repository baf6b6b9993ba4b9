// The walk of the build: the tree below the folder the run resolved, depth
// first, a folder's files (in listing order) before its subfolders. Every
// folder is held by its descriptor from the moment it is opened, opened
// relative to its parent without following a link, and listed once; its
// files are opened relative to it. A folder whose descriptor was let go (a
// tree deeper than the descriptors the process may hold) is opened again
// from the nearest held folder above it, name by name, never by its path,
// and must be the very folder it was.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "descriptor_budget.h"
#include "digest_pipeline.h"
#include "folder.h"
#include "walk_frames.h"

// One step of the summary, in the order its lines and log lines come.
struct BuildItem {
    enum class Kind {
        File,              // to be hashed and recorded
        UnreadableFolder,  // a folder that could not be opened or listed whole
        UnwritableName,    // a file whose name a summary line cannot hold
    } kind = Kind::File;
    std::u16string path;     // as the summary and the log name it
    std::u16string folder;   // the folder it is in, for the status line
    std::uint64_t size = 0;  // a file's size, when the walk was asked for sizes
};

struct TreeWalkSettings {
    std::u16string folder;    // the root as the command line gave it
    std::u16string rootPath;  // the root as the summary's paths start: `folder` with its separator
    bool recursive = false;
    std::vector<std::u16string> excludedFolders;  // full paths, as the walk forms them
    std::u16string summaryName;
    bool sizes = false;  // list each file's size (for a display that shows them)
};

// What a build lists: the tree below its folder, or a stand-in in tests.
class BuildListing {
public:
    // Pushes every item, in the summary's order.
    virtual void Run(ItemSink<BuildItem>& sink) = 0;
    // The files found so far and their bytes (known when sizes are listed),
    // for the bar and a display; final once Run has returned.
    virtual std::uint64_t filesFound() const = 0;
    virtual std::uint64_t bytesFound() const = 0;
    // How much of the tree the listing has been through, 0 to 1, judged by
    // the subfolders it has started at each level (1 once it is done): with
    // the files found so far, an estimate of how many there are in all.
    virtual double share() const = 0;

protected:
    ~BuildListing() = default;
};

class TreeWalk final : public BuildListing {
public:
    // `root`: the folder resolved at the start; null when it could not be.
    TreeWalk(std::shared_ptr<const TesselLibrary::Folder> root, TreeWalkSettings settings, DescriptorBudget& folders);

    void Run(ItemSink<BuildItem>& sink) override;
    std::uint64_t filesFound() const override { return found_.files; }
    std::uint64_t bytesFound() const override { return found_.bytes; }
    double share() const override { return found_.share; }

private:
    // What the walk has found so far, read meanwhile by the threads that
    // show it.
    struct Found {
        std::atomic<std::uint64_t> files{0};
        std::atomic<std::uint64_t> bytes{0};
        std::atomic<double> share{0};
    };

    void Visit(WalkFrame frame, ItemSink<BuildItem>& sink);
    void PushFiles(const WalkFrame& listed, const std::vector<std::uint32_t>& leftOut, ItemSink<BuildItem>& sink);

    std::shared_ptr<const TesselLibrary::Folder> root_;
    // A file that is a link is read as whoever may put a link into its
    // folder could read what it leads to outside the root; null where
    // nothing is to be done (owner_reads.h).
    std::shared_ptr<const TesselLibrary::OwnerReads> owner_;
    TreeWalkSettings settings_;
    WalkFrames walk_;
    Found found_;
};

// A summary line ends at a carriage return or a line feed, so a name holding
// one cannot be recorded.
bool FitsOnOneLine(const std::u16string& path);
