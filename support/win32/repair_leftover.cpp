// RemoveRepairLeftover: the leftover's bytes compared with the copy's as
// RemoveLeftoverTemporaryFile reads them (a live run's file, which shares
// nothing but deleting, does not open).
#include "repair_leftover.h"

#include <cstdint>
#include <cstring>

#include "replacement_file.h"

namespace TesselLibrary::Win32 {

namespace {

// The copy's bytes, read alongside the leftover's.
class StartOfCopy final : public ReplacementContents {
public:
    explicit StartOfCopy(FileHandle& copy) : copy_(copy) {}

    bool Feed(const std::uint8_t* bytes, std::size_t length) override {
        piece_.resize(length);
        for (std::size_t have = 0; have < length;) {
            std::uint32_t got = 0;
            if (!copy_.Read(piece_.data() + have, static_cast<std::uint32_t>(length - have), &got) || got == 0)
                return false;
            have += got;
        }
        return std::memcmp(piece_.data(), bytes, length) == 0;
    }
    // Stopped anywhere: any start of the copy is what a repair writes.
    bool Whole() const override { return true; }

private:
    FileHandle& copy_;
    std::vector<std::uint8_t> piece_;
};

}  // namespace

bool RemoveRepairLeftover(const Folder& folder, const std::u16string& name, FileHandle& copy) {
    StartOfCopy contents(copy);
    RemoveLeftoverTemporaryFile(folder, name, contents);
    return copy.SeekToStart();
}

}  // namespace TesselLibrary::Win32
