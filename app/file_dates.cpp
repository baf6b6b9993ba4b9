#include "file_dates.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "path.h"

using namespace TesselLibrary;

namespace {

constexpr char kMark[8] = {'S', 'V', 'D', 'A', 'T', 'E', 'S', '1'};
constexpr std::int64_t kTicksPerSecond = 10000000;
constexpr std::size_t kPiece = std::size_t{64} << 10;  // a multiple of an entry's bytes

void Mix(std::uint64_t& hash, std::uint8_t byte) {
    hash ^= byte;
    hash *= 1099511628211ull;
}

void AppendNumber(std::string& bytes, std::uint64_t value) {
    for (int k = 0; k < 8; ++k) bytes.push_back(static_cast<char>((value >> (8 * k)) & 0xFF));
}

std::uint64_t NumberAt(const std::uint8_t* bytes) {
    std::uint64_t value = 0;
    for (int k = 7; k >= 0; --k) value = (value << 8) | bytes[k];
    return value;
}

}  // namespace

std::unique_ptr<TesselFile> fileDatesBeside(const std::shared_ptr<const Folder>& folder,
                                            const std::u16string& summaryName, const std::u16string& summaryPath) {
    return folder ? std::make_unique<TesselFile>(folder, FileDatesName(summaryName))
                  : std::make_unique<TesselFile>(FileDatesName(summaryPath));
}

void LinesFingerprint::add(const char (&digest)[32], const std::u16string& name) {
    for (const char byte : digest) Mix(value_, static_cast<std::uint8_t>(byte));
    for (const char16_t unit : name) {
        Mix(value_, static_cast<std::uint8_t>(unit & 0xFF));
        Mix(value_, static_cast<std::uint8_t>(unit >> 8));
    }
    // Names end here, so that no two lists of names mix alike.
    Mix(value_, 0);
    Mix(value_, 0);
}

FileTime asRecorded(const FileTime& time) { return FileTime{time.seconds, time.nanoseconds / 100 * 100}; }

void appendFileDate(std::string& bytes, const std::optional<FileAsRead>& asRead) {
    if (!asRead) {
        bytes.append(kFileDateBytes, static_cast<char>(0xFF));
        return;
    }
    AppendNumber(bytes, asRead->size);
    const std::int64_t ticks = asRead->modified.seconds * kTicksPerSecond + asRead->modified.nanoseconds / 100;
    AppendNumber(bytes, static_cast<std::uint64_t>(ticks));
}

std::optional<FileAsRead> readFileDate(const std::uint8_t* bytes) {
    const std::uint64_t size = NumberAt(bytes);
    const std::uint64_t date = NumberAt(bytes + 8);
    if (size == std::numeric_limits<std::uint64_t>::max() && date == size) return std::nullopt;
    const auto ticks = static_cast<std::int64_t>(date);
    std::int64_t seconds = ticks / kTicksPerSecond;
    std::int64_t rest = ticks % kTicksPerSecond;
    if (rest < 0) {
        rest += kTicksPerSecond;
        seconds -= 1;
    }
    return FileAsRead{size, FileTime{seconds, static_cast<std::uint32_t>(rest * 100)}};
}

void FileDatesWriter::add(const char (&digits)[32], const std::u16string& path,
                          const std::optional<FileAsRead>& asRead) {
    fingerprint_.add(digits, path);
    ++entries_;
    appendFileDate(pending_, asRead);
    if (pending_.size() >= kPiece) flush();
}

bool FileDatesWriter::flush() {
    if (!pending_.empty() && !file_->Write(pending_.data(), static_cast<std::uint32_t>(pending_.size())))
        failed_ = true;
    pending_.clear();
    return !failed_;
}

bool FileDatesWriter::commit() {
    AppendNumber(pending_, entries_);
    AppendNumber(pending_, fingerprint_.value());
    pending_.append(kMark, sizeof kMark);
    if (!flush()) {
        file_->Close();
        return false;
    }
    CommitOutcome outcome = CommitOutcome::Failed;
    file_->Commit(&outcome);
    return outcome != CommitOutcome::Failed;
}

bool FileDatesReader::tie(std::uint64_t entries, std::uint64_t fingerprint) {
    tied_ = false;
    if (!file_->OpenRead()) return false;
    // Only the last bytes tell which summary the record is of: the whole
    // file is read for them, a piece at a time, and its length counted.
    piece_.bytes.resize(kPiece);
    std::uint8_t last[kFileDatesTieBytes] = {};
    std::uint64_t length = 0;
    for (;;) {
        std::uint32_t got = 0;
        if (!file_->Read(piece_.bytes.data(), static_cast<std::uint32_t>(piece_.bytes.size()), &got)) return false;
        if (got >= kFileDatesTieBytes) {
            std::memcpy(last, piece_.bytes.data() + got - kFileDatesTieBytes, kFileDatesTieBytes);
        } else if (got > 0) {
            std::memmove(last, last + got, kFileDatesTieBytes - got);
            std::memcpy(last + kFileDatesTieBytes - got, piece_.bytes.data(), got);
        }
        length += got;
        if (got < piece_.bytes.size()) break;
    }
    if (length < kFileDatesTieBytes || (length - kFileDatesTieBytes) % kFileDateBytes != 0) return false;
    if ((length - kFileDatesTieBytes) / kFileDateBytes != entries || NumberAt(last) != entries ||
        NumberAt(last + 8) != fingerprint || std::memcmp(last + 16, kMark, sizeof kMark) != 0)
        return false;
    entries_ = entries;
    tied_ = restart();
    return tied_;
}

bool FileDatesReader::restart() {
    piece_.at = piece_.held = 0;
    given_ = 0;
    return file_->Rewind();
}

std::optional<FileAsRead> FileDatesReader::next() {
    if (!tied_ || given_ == entries_) return std::nullopt;
    if (piece_.at == piece_.held) {
        std::uint32_t got = 0;
        // Pieces begin at multiples of an entry's bytes: no entry is split.
        const bool read = file_->Read(piece_.bytes.data(), static_cast<std::uint32_t>(piece_.bytes.size()), &got);
        if (!read || got < kFileDateBytes) {
            tied_ = false;  // changed since it was tied: no record from here on
            return std::nullopt;
        }
        piece_.at = 0;
        piece_.held = got;
    }
    const std::optional<FileAsRead> entry = readFileDate(piece_.bytes.data() + piece_.at);
    piece_.at += kFileDateBytes;
    ++given_;
    return entry;
}
