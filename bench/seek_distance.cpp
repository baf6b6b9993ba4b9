// How far a disk's head travels to read files in a given order: the sum of
// the jumps between the places read, from each file's extents (FIEMAP). A
// file is taken as read whole, extent after extent, when it is first read.
//
//   seek_distance ORDER...   each ORDER a file of paths, one a line, in the
//                            order they are read
//
// Prints, for each order, the files, the bytes they hold on the disk and
// the total jump in MiB; then, with two orders, the first's jumps over the
// second's. A path whose extents cannot be known ends it with exit code 1.
#include <fcntl.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

struct Extent {
    std::uint64_t start;
    std::uint64_t length;
};

// The file's extents on the disk in the order of its bytes; false when the
// system cannot say.
bool Extents(const std::string& path, std::vector<Extent>& extents) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    constexpr unsigned kBatch = 64;
    std::vector<unsigned char> room(sizeof(struct fiemap) + kBatch * sizeof(struct fiemap_extent));
    std::uint64_t from = 0;
    for (;;) {
        std::fill(room.begin(), room.end(), 0);
        auto* map = reinterpret_cast<struct fiemap*>(room.data());
        map->fm_start = from;
        map->fm_length = FIEMAP_MAX_OFFSET - from;
        map->fm_flags = FIEMAP_FLAG_SYNC;
        map->fm_extent_count = kBatch;
        if (::ioctl(fd, FS_IOC_FIEMAP, map) != 0) {
            ::close(fd);
            return false;
        }
        bool last = map->fm_mapped_extents == 0;
        for (unsigned k = 0; k < map->fm_mapped_extents; ++k) {
            const struct fiemap_extent& extent = map->fm_extents[k];
            extents.push_back({extent.fe_physical, extent.fe_length});
            from = extent.fe_logical + extent.fe_length;
            if (extent.fe_flags & FIEMAP_EXTENT_LAST) last = true;
        }
        if (last) break;
    }
    ::close(fd);
    return true;
}

struct Travel {
    std::size_t files = 0;
    std::uint64_t bytes = 0;
    std::uint64_t jumps = 0;
};

bool Measure(const char* orderFile, Travel& travel) {
    std::ifstream order(orderFile);
    if (!order) {
        std::fprintf(stderr, "seek_distance: cannot read %s\n", orderFile);
        return false;
    }
    std::set<std::string> seen;
    bool placed = false;
    std::uint64_t head = 0;
    std::string path;
    while (std::getline(order, path)) {
        if (path.empty() || !seen.insert(path).second) continue;
        std::vector<Extent> extents;
        if (!Extents(path, extents)) {
            std::fprintf(stderr, "seek_distance: the extents of %s cannot be known\n", path.c_str());
            return false;
        }
        ++travel.files;
        for (const Extent& extent : extents) {
            if (placed) travel.jumps += extent.start > head ? extent.start - head : head - extent.start;
            placed = true;
            head = extent.start + extent.length;
            travel.bytes += extent.length;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: seek_distance ORDER...\n");
        return 2;
    }
    std::vector<Travel> travels;
    for (int i = 1; i < argc; ++i) {
        Travel travel;
        if (!Measure(argv[i], travel)) return 1;
        std::printf("%s: %zu files, %.1f MiB on the disk, jumps %.1f MiB\n", argv[i], travel.files,
                    travel.bytes / 1048576.0, travel.jumps / 1048576.0);
        travels.push_back(travel);
    }
    if (travels.size() == 2 && travels[1].jumps > 0)
        std::printf("jumps of the first over the second: %.3f\n",
                    static_cast<double>(travels[0].jumps) / static_cast<double>(travels[1].jumps));
    return 0;
}
