// Directory search over opendir/readdir. The whole folder is read at once and
// sorted as NTFS lists a folder: readdir's own order is the file system's
// (a hash order on most), so two copies of a tree would list differently.
#include "directory_search.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "name_compare.h"
#include "text.h"

namespace TesselLibrary {

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

DirectoryEntry EntryOf(int parent, const dirent& found, bool sizes) {
    DirectoryEntry entry;
    entry.name = FromSystemBytes(found.d_name);
    unsigned char type = found.d_type;
    struct stat status {};
    const bool needStatus = type == DT_UNKNOWN || (sizes && type == DT_REG);
    const bool known = needStatus && fstatat(parent, found.d_name, &status, AT_SYMLINK_NOFOLLOW) == 0;
    if (known) {
        if (S_ISLNK(status.st_mode)) type = DT_LNK;
        else if (S_ISDIR(status.st_mode)) type = DT_DIR;
        else if (S_ISREG(status.st_mode)) entry.size = static_cast<std::uint64_t>(status.st_size);
    }
    if (type == DT_DIR) {
        entry.isDirectory = true;
    } else if (type == DT_LNK) {
        entry.isLink = true;
        // The link's target decides; a dangling link is no folder.
        struct stat target {};
        const bool reached = fstatat(parent, found.d_name, &target, 0) == 0;
        entry.isDirectory = reached && S_ISDIR(target.st_mode);
        if (reached && S_ISREG(target.st_mode)) entry.size = static_cast<std::uint64_t>(target.st_size);
    }
    return entry;
}

}  // namespace

struct DirectorySearchData {
    std::vector<DirectoryEntry> entries;
    std::size_t next = 0;
    bool opened = false;
    bool failed = false;
};

DirectorySearch::DirectorySearch(const std::u16string& folder, bool sizes)
    : data_(std::make_unique<DirectorySearchData>()) {
    const std::string path = folder.empty() ? std::string(".") : ToSystemBytes(folder);
    // Opened by hand so the descriptor carries O_CLOEXEC and a path that is
    // not a folder fails here rather than at the first read.
    const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        data_->failed = true;
        return;
    }
    std::unique_ptr<DIR, DirCloser> dir(fdopendir(fd));
    if (dir == nullptr) {
        close(fd);
        data_->failed = true;
        return;
    }
    data_->opened = true;
    for (;;) {
        errno = 0;  // readdir tells the end from an error only through errno
        const dirent* found = readdir(dir.get());
        if (found == nullptr) {
            if (errno != 0) data_->failed = true;
            break;
        }
        data_->entries.push_back(EntryOf(dirfd(dir.get()), *found, sizes));
    }
    std::sort(data_->entries.begin(), data_->entries.end(),
              [](const DirectoryEntry& a, const DirectoryEntry& b) { return ListedBefore(a.name, b.name); });
}

DirectorySearch::~DirectorySearch() = default;

bool DirectorySearch::ok() const { return data_->opened; }

bool DirectorySearch::failed() const { return data_->failed; }

bool DirectorySearch::Next(DirectoryEntry& entry) {
    if (data_->next >= data_->entries.size()) return false;
    entry = std::move(data_->entries[data_->next++]);
    return true;
}

}  // namespace TesselLibrary
