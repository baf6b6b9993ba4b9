// Directory search over opendir/readdir, in the order the file system keeps.
#include "directory_search.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "text.h"

namespace TesselLibrary {

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

}  // namespace

struct DirectorySearchData {
    std::unique_ptr<DIR, DirCloser> dir;
    bool failed = false;
};

DirectorySearch::DirectorySearch(const std::u16string& folder)
    : data_(std::make_unique<DirectorySearchData>()) {
    const std::string path = folder.empty() ? std::string(".") : ToSystemBytes(folder);
    // Opened by hand so the descriptor carries O_CLOEXEC and a path that is
    // not a folder fails here rather than at the first read.
    const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        data_->failed = true;
        return;
    }
    DIR* dir = fdopendir(fd);
    if (dir == nullptr) {
        close(fd);
        data_->failed = true;
        return;
    }
    data_->dir.reset(dir);
}

DirectorySearch::~DirectorySearch() = default;

bool DirectorySearch::ok() const {
    return data_->dir != nullptr;
}

bool DirectorySearch::failed() const { return data_->failed; }

bool DirectorySearch::Next(DirectoryEntry& entry) {
    if (!data_->dir) return false;
    errno = 0;  // readdir tells the end from an error only through errno
    const dirent* found = readdir(data_->dir.get());
    if (found == nullptr) {
        if (errno != 0) data_->failed = true;
        data_->dir.reset();  // no further entry, and the descriptor is free again
        return false;
    }

    entry.name = FromSystemBytes(found->d_name);
    entry.isDirectory = false;
    entry.isLink = false;

    const int parent = dirfd(data_->dir.get());
    unsigned char type = found->d_type;
    if (type == DT_UNKNOWN) {
        struct stat status {};
        if (fstatat(parent, found->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0) {
            if (S_ISLNK(status.st_mode)) type = DT_LNK;
            else if (S_ISDIR(status.st_mode)) type = DT_DIR;
        }
    }
    if (type == DT_DIR) {
        entry.isDirectory = true;
    } else if (type == DT_LNK) {
        entry.isLink = true;
        // The link's target decides; a dangling link is no folder.
        struct stat target {};
        entry.isDirectory = fstatat(parent, found->d_name, &target, 0) == 0 && S_ISDIR(target.st_mode);
    }
    return true;
}

}  // namespace TesselLibrary
