// FolderListing's storage: names packed into blocks, never split across two.
#include <cstring>

#include "folder.h"

namespace TesselLibrary {

namespace {

// Large enough that its tail left unused is small beside it; a name longer
// than a block (none a file system allows) gets a block of its own.
constexpr std::size_t kNameBlock = std::size_t{1} << 20;

}  // namespace

void FolderListing::Add(const void* name, std::size_t length, std::uint8_t type) {
    const std::size_t needed = length + 1;
    if (blocks_.empty() || used_ + needed > blockSize_) {
        blockSize_ = needed > kNameBlock ? needed : kNameBlock;
        blocks_.push_back(std::make_unique_for_overwrite<char[]>(blockSize_));
        used_ = 0;
    }
    char* stored = blocks_.back().get() + used_;
    std::memcpy(stored, name, length);
    stored[length] = '\0';
    bool ascii = true;
    for (std::size_t i = 0; i < length && ascii; ++i) ascii = static_cast<unsigned char>(stored[i]) < 0x80;
    entries_.push_back(Entry{static_cast<std::uint32_t>(blocks_.size() - 1), static_cast<std::uint32_t>(used_),
                             static_cast<std::uint16_t>(length), type, static_cast<std::uint8_t>(ascii ? kAscii : 0)});
    used_ += needed;
}

}  // namespace TesselLibrary
