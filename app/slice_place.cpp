#include "slice_place.h"

#include <sstream>

#include "path.h"
#include "text.h"

using namespace TesselLibrary;

namespace {

constexpr const char* kHeading = "Sumvane: where the check in slices goes on";
// Larger than any text this program writes: anything longer is not its.
constexpr std::uint32_t kLongest = 4096;

// A whole decimal number, nothing around it.
std::optional<std::uint64_t> ParseNumber(const std::string& text, int base) {
    if (text.empty() || text.size() > (base == 16 ? 16u : 19u)) return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : text) {
        const int digit = HexValue(static_cast<unsigned char>(c));
        if (digit < 0 || digit >= base || (c >= 'a' && c <= 'f')) return std::nullopt;
        value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
    }
    return value;
}

}  // namespace

std::string formatSlicePlace(const SlicePlace& place) {
    std::string text = std::string(kHeading) + "\r\n";
    text += "entries " + std::to_string(place.entries) + "\r\n";
    text += "fingerprint " + HexDigits(place.fingerprint, 16) + "\r\n";
    // Numbered from 1, as a person counts the summary's entries.
    text += "next " + std::to_string(place.next + 1) + "\r\n";
    text += "last full round " +
            (place.lastFullRound ? ToSystemBytes(DateTimeText(*place.lastFullRound)) : std::string("none")) + "\r\n";
    return text;
}

std::optional<SlicePlace> parseSlicePlace(const std::string& text) {
    std::istringstream lines(text);
    std::string line;
    const auto nextLine = [&](const std::string& label, std::string& value) {
        if (!std::getline(lines, line)) return false;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.compare(0, label.size(), label) != 0) return false;
        value = line.substr(label.size());
        return true;
    };
    std::string heading, entries, fingerprint, next, round;
    // Lines end in CR LF as written, or in LF alone after an editor.
    if (!std::getline(lines, heading)) return std::nullopt;
    if (!heading.empty() && heading.back() == '\r') heading.pop_back();
    if (heading != kHeading) return std::nullopt;
    if (!nextLine("entries ", entries) || !nextLine("fingerprint ", fingerprint) || !nextLine("next ", next) ||
        !nextLine("last full round ", round))
        return std::nullopt;
    SlicePlace place;
    const auto count = ParseNumber(entries, 10);
    const auto print = ParseNumber(fingerprint, 16);
    const auto at = ParseNumber(next, 10);
    if (!count || !print || fingerprint.size() != 16 || !at || *at == 0 || *at > *count) return std::nullopt;
    place.entries = *count;
    place.fingerprint = *print;
    place.next = *at - 1;
    if (round != "none") {
        place.lastFullRound = DateTimeOfText(FromSystemBytes(round));
        if (!place.lastFullRound) return std::nullopt;
    }
    return place;
}

SlicePlaceFile::SlicePlaceFile(const std::shared_ptr<const Folder>& folder, const std::u16string& summaryName,
                               const std::u16string& summaryPath)
    : file_(folder ? std::make_unique<TesselFile>(folder, SlicePlaceName(summaryName))
                   : std::make_unique<TesselFile>(SlicePlaceName(summaryPath))) {}

std::optional<SlicePlace> SlicePlaceFile::load() {
    if (!file_->OpenRead()) return std::nullopt;
    std::string text(kLongest, '\0');
    std::uint32_t got = 0;
    const bool read = file_->Read(text.data(), kLongest, &got);
    file_->Close();
    if (!read || got == kLongest) return std::nullopt;
    text.resize(got);
    return parseSlicePlace(text);
}

bool SlicePlaceFile::save(const SlicePlace& place) {
    const std::string text = formatSlicePlace(place);
    file_->Write(text.data(), static_cast<std::uint32_t>(text.size()));
    return file_->Commit();
}
