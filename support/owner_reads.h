// Reading no more than whoever could have asked for it. Run as root, the
// program reads what lies outside the folder it works on (the file a link in
// the folder leads to, a path a summary names elsewhere) only as the one who
// could have put that link or that line there could read it: another user's
// link or summary must never make root hand back the digest of a file that
// user may not read. Inside the folder nothing changes.
//
// Who that is: for a link, whoever may write the folder that holds it (its
// owner; a user of no account of their own, in the folder's group when that
// group may write it, where root's folder is writable by its group or by
// anyone); for a summary's line, whoever may write the summary, or else put
// it into its folder, the same way. Where only root may, the folder the run
// works on decides as a whole: its owner when that is not root, else root.
//
// On POSIX such a file is opened with that identity for the file system
// (the calling thread's alone, for that open only); whether the file a link
// leads to lies inside the folder is told by where its open leads
// (/proc/self/fd), and where that cannot be told it counts as outside. On
// Windows, and where the program does not run as root, nothing is to be
// done.
#pragma once

#include <memory>

#include "folder.h"

namespace TesselLibrary {

class TesselFile;
struct OwnerReadsData;

class OwnerReads {
public:
    // For the files of the tree below `root` (or the folder of a file named
    // on its own), and the links among them. Null when nothing is to be done.
    static std::shared_ptr<const OwnerReads> For(const Folder& root);
    // The same, and every path outside `root` that the summary `summary`
    // (open for reading) names read as whoever could have written it.
    static std::shared_ptr<const OwnerReads> For(const Folder& root, const TesselFile& summary);
    ~OwnerReads();
    OwnerReads(const OwnerReads&) = delete;
    OwnerReads& operator=(const OwnerReads&) = delete;

    // For the backend's opens.
    const OwnerReadsData& data() const { return *data_; }

private:
    explicit OwnerReads(std::unique_ptr<OwnerReadsData> data);

    std::unique_ptr<OwnerReadsData> data_;
};

}  // namespace TesselLibrary
