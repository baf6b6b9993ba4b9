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

std::u16string RepairLetters(const std::vector<std::u16string>& names) {
    std::uint64_t hash = 14695981039346656037ull;  // FNV-1a over the names and a separator after each
    for (const std::u16string& name : names) {
        for (const char16_t unit : name) hash = (hash ^ unit) * 1099511628211ull;
        hash = (hash ^ 0x2F) * 1099511628211ull;
    }
    static const char kLetters[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    std::u16string letters;
    for (int i = 0; i < 8; ++i) {
        letters.push_back(static_cast<char16_t>(kLetters[hash % 62]));
        hash /= 62;
    }
    return letters;
}

bool RemoveRepairLeftover(const Folder& folder, const std::u16string& name, FileHandle& copy) {
    StartOfCopy contents(copy);
    RemoveLeftoverTemporaryFile(folder, name, contents);
    return copy.SeekToStart();
}

}  // namespace TesselLibrary::Win32
