// TesselMappedFile on Windows: CreateFileMappingW / MapViewOfFile, read-only.
// The bytes of a view reach its user through ReadFile into a reused buffer:
// an I/O error underneath (a bad sector, a share that went away, a removed
// drive) is then a failed call, where touching the mapped pages would raise
// EXCEPTION_IN_PAGE_ERROR in the middle of the hash and end the process.
#include <windows.h>

#include <algorithm>
#include <vector>

#include "error_kinds.h"
#include "handle.h"
#include "long_path.h"
#include "tessel_mapped_file.h"

namespace TesselLibrary {

namespace {

// Read in pieces of this size: large enough for few calls, small enough to
// keep the buffer cheap for every file.
constexpr std::uint32_t kReadPiece = std::uint32_t{1} << 20;

}  // namespace

// Members are destroyed in reverse order: the view first, then the mapping,
// then the file, the only order in which each release is valid.
struct TesselMappedFileData {
    Win32::Handle file;
    Win32::Handle mapping;
    const std::uint8_t* view = nullptr;
    std::uint64_t viewOffset = 0;
    std::uint64_t viewLength = 0;
    bool notFound = false;
    std::vector<std::uint8_t> buffer;

    void Unmap() {
        if (view) ::UnmapViewOfFile(view);
        view = nullptr;
        viewOffset = 0;
        viewLength = 0;
    }
    // A length of 0 maps the rest of the file, as MapViewOfFile does.
    void Map(std::uint64_t offset, std::uint32_t length, std::uint64_t size) {
        view = static_cast<const std::uint8_t*>(::MapViewOfFile(mapping.get(), FILE_MAP_READ,
                                                                static_cast<DWORD>(offset >> 32),
                                                                static_cast<DWORD>(offset & 0xFFFFFFFFu), length));
        if (!view) return;
        viewOffset = offset;
        viewLength = length != 0 ? length : size - offset;
    }
    ~TesselMappedFileData() { Unmap(); }
};

TesselMappedFile::TesselMappedFile(const char16_t* path) : data_(std::make_unique<TesselMappedFileData>()) {
    TesselMappedFileData& d = *data_;
    d.file.reset(::CreateFileW(Win32::SystemPath(path ? path : u"").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!d.file) {
        d.notFound = Win32::IsMissing(::GetLastError());
        return;
    }
    // Folders never open here; devices and pipes are no files to hash.
    if (::GetFileType(d.file.get()) != FILE_TYPE_DISK) {
        d.file.reset();
        return;
    }
    // Fails for an empty file: there is nothing to map.
    d.mapping.reset(::CreateFileMappingW(d.file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!d.mapping) return;
    // A first view of the whole file; may fail for a file larger than the
    // address space, which the windows of MapWindow then cover.
    d.Map(0, 0, Size());
}

TesselMappedFile::~TesselMappedFile() = default;

bool TesselMappedFile::IsOpen() const { return static_cast<bool>(data_->file); }

bool TesselMappedFile::NotFound() const { return data_->notFound; }

std::uint64_t TesselMappedFile::Size() const {
    if (!data_->file) return 0;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(data_->file.get(), &size)) return 0;
    return static_cast<std::uint64_t>(size.QuadPart);
}

void TesselMappedFile::MapWindow(std::uint64_t offset, std::uint32_t length) {
    if (!data_->file || !data_->mapping) return;
    data_->Unmap();
    data_->Map(offset, length, Size());
}

const std::uint8_t* TesselMappedFile::view() const { return data_->view; }

bool TesselMappedFile::ReadView(std::uint32_t length,
                                const std::function<bool(const std::uint8_t* bytes, std::uint32_t length)>& use) const {
    TesselMappedFileData& d = *data_;
    if (!d.view || length > d.viewLength) return false;
    if (length == 0) return use(d.view, 0);
    d.buffer.resize(std::min(length, kReadPiece));
    std::uint64_t at = d.viewOffset;
    std::uint32_t left = length;
    while (left > 0) {
        const std::uint32_t asked = std::min(left, kReadPiece);
        OVERLAPPED position{};
        position.Offset = static_cast<DWORD>(at & 0xFFFFFFFFu);
        position.OffsetHigh = static_cast<DWORD>(at >> 32);
        DWORD got = 0;
        // Short means the file ended early: its bytes are not all there.
        if (!::ReadFile(d.file.get(), d.buffer.data(), asked, &got, &position) || got != asked) return false;
        if (!use(d.buffer.data(), asked)) return false;
        at += asked;
        left -= asked;
    }
    return true;
}

}  // namespace TesselLibrary
