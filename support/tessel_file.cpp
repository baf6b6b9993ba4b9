// TesselFile: a reading or appending handle opened on demand in the file's
// folder, and a replacement that Write makes and Commit puts in place.
#include "tessel_file.h"

#include <new>

#include "file_handle.h"
#include "platform.h"
#include "path.h"

namespace TesselLibrary {

namespace {

const char16_t* OrDefault(const char16_t* path) { return path ? path : u"filename.txt"; }

// Read in pieces the 32-bit lengths of Read can carry.
constexpr std::uint32_t kReadPiece = std::uint32_t{1} << 30;

}  // namespace

struct TesselFileData {
    std::u16string path;
    std::shared_ptr<const Folder> folder;  // null until resolved
    std::u16string name;                   // within `folder`
    bool resolveFailed = false;            // the path's folder could not be opened
    FileHandle handle;
    bool openedForReading = false;  // consulted only while the handle is open
    ReplacementFile replacement;
    bool report = false;  // SetReport

    void Name(const std::u16string& newPath) {
        path = newPath;
        folder.reset();
        resolveFailed = false;
        name = LastName(newPath);  // the folder is DirectoryOf(path)
    }
};

TesselFile::TesselFile(const char16_t* path) : data_(std::make_unique<TesselFileData>()) {
    data_->Name(OrDefault(path));
}

TesselFile::TesselFile(const std::u16string& path) : data_(std::make_unique<TesselFileData>()) { data_->Name(path); }

TesselFile::TesselFile(std::shared_ptr<const Folder> folder, const std::u16string& name)
    : data_(std::make_unique<TesselFileData>()) {
    SetPath(std::move(folder), name);
}

TesselFile::~TesselFile() { Close(); }

bool TesselFile::Resolve() {
    TesselFileData& d = *data_;
    if (d.folder) return true;
    if (d.resolveFailed) return false;
    // Once only: every later operation meets the same folder, whatever
    // happens to the path meanwhile.
    d.folder = Folder::Open(DirectoryOf(d.path));
    d.resolveFailed = d.folder == nullptr;
    return !d.resolveFailed;
}

bool TesselFile::OpenRead() {
    TesselFileData& d = *data_;
    if (d.handle.IsOpen()) {
        if (d.openedForReading) return true;
        d.handle.Close();
    }
    d.openedForReading = true;
    return Resolve() && d.handle.Open(*d.folder, d.name, FileHandle::Mode::ReadNoLink);
}

bool TesselFile::Modified(FileTime* time) const {
    return data_->handle.IsOpen() && data_->openedForReading && data_->handle.Modified(time);
}

bool TesselFile::Rewind() { return data_->handle.IsOpen() && data_->openedForReading && data_->handle.SeekToStart(); }

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
    TesselFileData& d = *data_;
    if (!d.replacement.active()) {
        d.handle.Close();
        if (!Resolve() || !d.replacement.Create(d.folder, d.name, d.report)) return false;
    }
    return d.replacement.Write(data, length);
}

void TesselFile::SetReport() { data_->report = true; }

bool TesselFile::Commit(CommitOutcome* outcome) {
    const CommitOutcome result = data_->replacement.Commit();
    if (outcome) *outcome = result;
    return result == CommitOutcome::Replaced;
}

bool TesselFile::Append(const void* data, std::uint32_t length) {
    TesselFileData& d = *data_;
    // On a new file that Write began, the bytes join its blocks in order.
    if (d.replacement.active()) return d.replacement.Write(data, length);
    if (!d.handle.IsOpen() || d.openedForReading) {
        d.handle.Close();
        d.openedForReading = false;
        if (!Resolve() || !d.handle.Open(*d.folder, d.name, FileHandle::Mode::Append)) return false;
    }
    return d.handle.WriteWhole(data, length);
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
    data_->Name(OrDefault(path));
}

void TesselFile::SetPath(std::shared_ptr<const Folder> folder, const std::u16string& name) {
    Close();
    TesselFileData& d = *data_;
    d.path = JoinPath(folder ? folder->path() : std::u16string(), name);
    d.resolveFailed = folder == nullptr;
    d.folder = std::move(folder);
    d.name = name;
}

const std::u16string& TesselFile::path() const { return data_->path; }

std::intptr_t TesselFile::readingNative() const {
    return data_->handle.IsOpen() && data_->openedForReading ? data_->handle.native() : -1;
}

void TesselFile::Close() {
    data_->handle.Close();
    data_->replacement.Discard();
}

bool TesselFile::Delete() {
    Close();
    return Resolve() && data_->folder->Remove(data_->name);
}

bool FileExists(const char16_t* path) {
    FileHandle file;  // closed again when it goes
    return file.Open(path ? path : u"", FileHandle::Mode::Read);
}

}  // namespace TesselLibrary
