// TesselFile: one open direction at a time, switched on demand, over the
// backend's FileHandle.
#include "tessel_file.h"

#include "file_handle.h"

namespace TesselLibrary {

namespace {

const char16_t* OrDefault(const char16_t* path) { return path ? path : u"filename.txt"; }

}  // namespace

struct TesselFileData {
    std::u16string path;
    FileHandle handle;
    bool openedForReading = false;  // consulted only while the handle is open
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
        if (!data_->handle.Open(data_->path, FileHandle::Mode::Truncate)) return false;
    }
    return WriteBytes(data, length);
}

bool TesselFile::Append(const void* data, std::uint32_t length) {
    return OpenAppend() && WriteBytes(data, length);
}

bool TesselFile::ReadAll(std::vector<std::uint8_t>& buffer) {
    if (!OpenRead()) return false;
    const std::uint32_t size = Size();
    buffer.clear();
    buffer.resize(size);
    return Read(buffer.data(), size);
}

std::uint32_t TesselFile::Size() {
    if (!OpenRead()) return 0;
    std::uint64_t size = 0;
    if (!data_->handle.Size(&size)) return 0;
    return static_cast<std::uint32_t>(size);  // the low 32 bits
}

void TesselFile::SetPath(const char16_t* path) {
    Close();
    data_->path = OrDefault(path);
}

void TesselFile::Close() { data_->handle.Close(); }

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
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::uint32_t total = 0;
    while (total < length) {
        const std::uint32_t asked = length - total;
        std::uint32_t written = 0;
        if (!data_->handle.Write(bytes + total, asked, &written) || written < asked) return false;
        total += written;
    }
    return true;
}

bool FileExists(const char16_t* path) {
    FileHandle file;  // closed again when it goes
    return file.Open(path ? path : u"", FileHandle::Mode::Read);
}

}  // namespace TesselLibrary
