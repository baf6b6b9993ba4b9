// TesselMappedFile on Windows: CreateFileMappingW / MapViewOfFile, read-only.
#include <windows.h>

#include "handle.h"
#include "tessel_mapped_file.h"
#include "wide.h"

namespace TesselLibrary {

// Members are destroyed in reverse order: the view first, then the mapping,
// then the file, the only order in which each release is valid.
struct TesselMappedFileData {
    Win32::Handle file;
    Win32::Handle mapping;
    const std::uint8_t* view = nullptr;

    void Unmap() {
        if (view) ::UnmapViewOfFile(view);
        view = nullptr;
    }
    ~TesselMappedFileData() { Unmap(); }
};

TesselMappedFile::TesselMappedFile(const char16_t* path) : data_(std::make_unique<TesselMappedFileData>()) {
    data_->file.reset(::CreateFileW(Win32::Wide(path ? path : u""), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!data_->file) return;
    // Fails for an empty file: there is nothing to map.
    data_->mapping.reset(::CreateFileMappingW(data_->file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!data_->mapping) return;
    // A first view of the whole file; may fail for a file larger than the
    // address space, which the windows of MapWindow then cover.
    data_->view = static_cast<const std::uint8_t*>(::MapViewOfFile(data_->mapping.get(), FILE_MAP_READ, 0, 0, 0));
}

TesselMappedFile::~TesselMappedFile() = default;

std::uint64_t TesselMappedFile::Size() const {
    if (!data_->file) return 0;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(data_->file.get(), &size)) return 0;
    return static_cast<std::uint64_t>(size.QuadPart);
}

void TesselMappedFile::MapWindow(std::uint64_t offset, std::uint32_t length) {
    if (!data_->file || !data_->mapping) return;
    data_->Unmap();
    data_->view = static_cast<const std::uint8_t*>(
        ::MapViewOfFile(data_->mapping.get(), FILE_MAP_READ, static_cast<DWORD>(offset >> 32),
                        static_cast<DWORD>(offset & 0xFFFFFFFFu), length));
}

const std::uint8_t* TesselMappedFile::view() const { return data_->view; }

bool TesselMappedFile::ReadView(
    std::uint32_t length, const std::function<bool(const std::uint8_t* bytes, std::uint32_t length)>& use) const {
    // The file is held with read sharing only, so no other process can
    // truncate it underneath the view: the bytes are simply there.
    if (!data_->view) return false;
    return use(data_->view, length);
}

}  // namespace TesselLibrary
