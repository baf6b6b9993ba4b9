// TesselFile: one open direction at a time, switched on demand, over the
// backend's FileHandle. Writing goes to a temporary file beside the path that
// Commit moves over it.
#include "tessel_file.h"

#include <chrono>
#include <new>
#include <random>

#include "file_handle.h"
#include "name_compare.h"

namespace TesselLibrary {

namespace {

const char16_t* OrDefault(const char16_t* path) { return path ? path : u"filename.txt"; }

// A temporary file is named "<file name>.tmp-" and eight letters or digits.
constexpr char16_t kTemporaryMarker[] = u".tmp-";
constexpr std::size_t kMarkerLength = sizeof kTemporaryMarker / sizeof(char16_t) - 1;
constexpr std::size_t kRandomLength = 8;
constexpr char kRandomCharacters[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
// A name taken by chance (or by a stale file) is tried again with new letters.
constexpr int kNameAttempts = 16;

// A new file's bytes go out in blocks of this size, not a system call per
// piece Write is handed.
constexpr std::size_t kWriteBlock = std::size_t{64} << 10;

// Read in pieces the 32-bit lengths of Read can carry.
constexpr std::uint32_t kReadPiece = std::uint32_t{1} << 30;

std::u16string RandomLetters() {
    thread_local std::mt19937_64 generator([] {
        std::random_device device;
        const auto now = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
        return (static_cast<std::uint64_t>(device()) << 32) ^ device() ^ now;
    }());
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kRandomCharacters - 2);
    std::u16string letters;
    for (std::size_t i = 0; i < kRandomLength; ++i) letters.push_back(static_cast<char16_t>(kRandomCharacters[pick(generator)]));
    return letters;
}

bool IsLetterOrDigit(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

}  // namespace

struct TesselFileData {
    std::u16string path;
    FileHandle handle;
    bool openedForReading = false;  // consulted only while the handle is open
    std::u16string temporaryPath;   // the file Write is making; empty when none
    bool writeFailed = false;       // a write to it failed: it must not replace the path
    std::vector<std::uint8_t> pending;  // written to the temporary file, not yet to the system
};

TesselFile::TesselFile(const char16_t* path) : data_(std::make_unique<TesselFileData>()) {
    data_->path = OrDefault(path);
}

TesselFile::TesselFile(const std::u16string& path) : data_(std::make_unique<TesselFileData>()) {
    data_->path = path;
}

TesselFile::~TesselFile() { Close(); }

bool TesselFile::OpenRead() {
    if (data_->handle.IsOpen()) {
        if (data_->openedForReading) return true;
        Close();
    }
    data_->openedForReading = true;
    return data_->handle.Open(data_->path, FileHandle::Mode::Read);
}

bool TesselFile::Read(void* buffer, std::uint32_t length, std::uint32_t* count) {
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    std::uint32_t total = 0;
    while (total < length) {
        const std::uint32_t asked = length - total;
        std::uint32_t got = 0;
        if (!data_->handle.Read(bytes + total, asked, &got)) return false;
        total += got;
        if (got < asked) break;  // end of file
    }
    if (count) *count = total;
    return true;
}

bool TesselFile::Write(const void* data, std::uint32_t length) {
    if (!data_->handle.IsOpen() || data_->openedForReading) {
        Close();
        data_->openedForReading = false;
        if (!StartTemporaryFile()) return false;
    }
    if (data_->temporaryPath.empty()) return WriteBytes(data, length);
    // Once a block has failed the file cannot be committed: every later
    // write says so at once.
    if (data_->writeFailed) return false;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    data_->pending.insert(data_->pending.end(), bytes, bytes + length);
    return data_->pending.size() < kWriteBlock || WritePending();
}

bool TesselFile::WritePending() {
    std::vector<std::uint8_t>& pending = data_->pending;
    bool ok = true;
    for (std::size_t at = 0; ok && at < pending.size(); at += kWriteBlock) {
        const std::size_t piece = pending.size() - at < kWriteBlock ? pending.size() - at : kWriteBlock;
        ok = WriteBytes(pending.data() + at, static_cast<std::uint32_t>(piece));
    }
    pending.clear();
    return ok;
}

bool TesselFile::Commit() {
    TesselFileData& d = *data_;
    if (d.temporaryPath.empty() || !d.handle.IsOpen() || d.openedForReading) return false;
    bool ok = WritePending() && !d.writeFailed && d.handle.Flush();
    ok = d.handle.Close() && ok;
    if (ok && MoveFileOver(d.temporaryPath, d.path)) {
        UnregisterTemporaryFile(d.temporaryPath);
        d.temporaryPath.clear();
        return true;
    }
    DiscardTemporaryFile();
    return false;
}

bool TesselFile::Append(const void* data, std::uint32_t length) {
    if (!OpenAppend()) return false;
    // On a new file that Write began, the bytes join its blocks in order.
    if (!data_->temporaryPath.empty()) return Write(data, length);
    return WriteBytes(data, length);
}

bool TesselFile::ReadAll(std::vector<std::uint8_t>& buffer) {
    if (!OpenRead()) return false;
    const std::uint64_t size = Size();
    if (size > SIZE_MAX || size > buffer.max_size()) return false;
    std::vector<std::uint8_t> bytes;
    try {
        bytes.resize(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
        return false;  // more than memory can hold: the caller reports missing data
    }
    std::uint64_t total = 0;
    while (total < size) {
        const std::uint64_t left = size - total;
        const std::uint32_t asked = left < kReadPiece ? static_cast<std::uint32_t>(left) : kReadPiece;
        std::uint32_t got = 0;
        if (!Read(bytes.data() + total, asked, &got)) return false;
        total += got;
        if (got < asked) break;  // the file shrank meanwhile: keep what is there
    }
    bytes.resize(static_cast<std::size_t>(total));
    buffer.swap(bytes);
    return true;
}

std::uint64_t TesselFile::Size() {
    if (!OpenRead()) return 0;
    std::uint64_t size = 0;
    if (!data_->handle.Size(&size)) return 0;
    return size;
}

void TesselFile::SetPath(const char16_t* path) {
    Close();
    data_->path = OrDefault(path);
}

void TesselFile::Close() {
    data_->handle.Close();
    DiscardTemporaryFile();
}

bool TesselFile::Delete() {
    Close();
    return RemoveFile(data_->path.c_str());
}

bool TesselFile::OpenAppend() {
    if (data_->handle.IsOpen()) {
        if (!data_->openedForReading) return true;  // keep writing where it stands
        Close();
    }
    data_->openedForReading = false;
    return data_->handle.Open(data_->path, FileHandle::Mode::Append);
}

bool TesselFile::WriteBytes(const void* data, std::uint32_t length) {
    if (data_->handle.WriteWhole(data, length)) return true;
    data_->writeFailed = true;
    return false;
}

bool TesselFile::StartTemporaryFile() {
    TesselFileData& d = *data_;
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::u16string candidate = d.path + kTemporaryMarker + RandomLetters();
        // Registered first: an interrupt right after the file appears must
        // still find it.
        RegisterTemporaryFile(candidate);
        if (d.handle.Open(candidate, FileHandle::Mode::CreateNew)) {
            d.temporaryPath = candidate;
            d.writeFailed = false;
            return true;
        }
        UnregisterTemporaryFile(candidate);
        if (d.handle.missing()) return false;  // no folder to make it in
    }
    return false;
}

void TesselFile::DiscardTemporaryFile() {
    TesselFileData& d = *data_;
    if (!d.temporaryPath.empty()) {
        RemoveFile(d.temporaryPath.c_str());
        UnregisterTemporaryFile(d.temporaryPath);
        d.temporaryPath.clear();
    }
    d.writeFailed = false;
    d.pending.clear();
}

bool IsTemporaryNameOf(const std::u16string& name, const std::u16string& fileName) {
    if (fileName.empty() || name.size() != fileName.size() + kMarkerLength + kRandomLength) return false;
    if (!NamesEqualIgnoringCase(name.substr(0, fileName.size()), fileName)) return false;
    if (!NamesEqualIgnoringCase(name.substr(fileName.size(), kMarkerLength), kTemporaryMarker)) return false;
    for (std::size_t i = fileName.size() + kMarkerLength; i < name.size(); ++i) {
        if (!IsLetterOrDigit(name[i])) return false;
    }
    return true;
}

bool FileExists(const char16_t* path) {
    FileHandle file;  // closed again when it goes
    return file.Open(path ? path : u"", FileHandle::Mode::Read);
}

}  // namespace TesselLibrary
