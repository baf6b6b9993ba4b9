// Reading no more than a folder's owner could. Run as root over a folder
// another user owns, the program reads what lies outside that folder (a path
// a summary names elsewhere, the file a link in the folder leads to) only if
// that user could read it: a user's summary or link must never make root
// hand back the digest of a file the user may not read. Inside the folder
// nothing changes.
//
// On POSIX such a file is opened with the owner's identity for the file
// system (the calling thread's alone, for that open only); whether the file
// a link leads to lies inside the folder is told by where its open leads
// (/proc/self/fd), and where that cannot be told it counts as outside. On
// Windows, and where the program runs as the folder's owner, nothing is to
// be done.
#pragma once

#include <memory>

#include "folder.h"

namespace TesselLibrary {

struct OwnerReadsData;

class OwnerReads {
public:
    // Null when nothing is to be done for reads below `root`.
    static std::shared_ptr<const OwnerReads> For(const Folder& root);
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
