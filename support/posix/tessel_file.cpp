// TesselFile and the file free functions, POSIX backend.
//
// CreateFileW becomes open(2) through OpenRegularFile: only regular files
// open, and no open ever blocks. Windows share modes have no POSIX
// equivalent and are not emulated.
#include "tessel_file.h"

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include "embedded.h"
#include "regular_file.h"
#include "text.h"

namespace TesselLibrary {

namespace {

constexpr const char16_t* kDefaultPath = u"filename.txt";

// Linux transfers at most 0x7ffff000 bytes per read(2)/write(2); asking for
// at most this much per call keeps "fewer than asked" meaning end of file
// (read) or a real failure such as a full disk (write).
constexpr std::uint32_t kMaxTransfer = 1u << 30;

std::string SystemPath(const char16_t* path) {
    return ToSystemBytes(path ? std::u16string_view(path) : std::u16string_view());
}

}  // namespace

struct TesselFileData {
    std::u16string path;
    int fd = -1;  // -1 while closed
    bool openedForReading = false;
};

TesselFile::TesselFile(const char16_t* path) : data_(std::make_unique<TesselFileData>()) {
    data_->path = path ? path : kDefaultPath;
}

TesselFile::TesselFile(const std::u16string& path) : data_(std::make_unique<TesselFileData>()) {
    data_->path = path;
}

TesselFile::~TesselFile() { Close(); }

bool TesselFile::OpenRead() {
    if (data_->fd >= 0) {
        if (data_->openedForReading) return true;
        Close();
    }
    data_->openedForReading = true;
    data_->fd = Posix::OpenRegularFile(ToSystemBytes(data_->path), O_RDONLY);
    return data_->fd >= 0;
}

bool TesselFile::Read(void* buffer, std::uint32_t length, std::uint32_t* count) {
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    std::uint32_t total = 0;
    while (total < length) {
        const std::uint32_t asked = std::min(length - total, kMaxTransfer);
        const ssize_t got = ::read(data_->fd, bytes + total, asked);
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        total += static_cast<std::uint32_t>(got);
        if (static_cast<std::uint32_t>(got) < asked) break;  // end of file
    }
    if (count) *count = total;
    return true;
}

bool TesselFile::Write(const void* data, std::uint32_t length) {
    if (data_->fd < 0 || data_->openedForReading) {
        Close();
        data_->openedForReading = false;
        data_->fd = Posix::OpenRegularFile(ToSystemBytes(data_->path), O_WRONLY | O_CREAT | O_TRUNC);
        if (data_->fd < 0) return false;
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
    struct stat st;
    if (::fstat(data_->fd, &st) != 0) return 0;
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(st.st_size));
}

void TesselFile::SetPath(const char16_t* path) {
    Close();
    data_->path = path ? path : kDefaultPath;
}

void TesselFile::Close() { Posix::CloseDescriptor(data_->fd); }

bool TesselFile::Delete() {
    Close();
    return RemoveFile(data_->path.c_str());
}

bool TesselFile::OpenAppend() {
    if (data_->fd >= 0) {
        if (!data_->openedForReading) return true;  // keep writing where it stands
        Close();
    }
    data_->openedForReading = false;
    // OPEN_ALWAYS / CREATE_ALWAYS of the design: both amount to "create when
    // missing, keep the contents otherwise" here.
    data_->fd = Posix::OpenRegularFile(ToSystemBytes(data_->path), O_WRONLY | O_CREAT);
    if (data_->fd < 0) return false;
    if (::lseek(data_->fd, 0, SEEK_END) == static_cast<off_t>(-1)) {
        Close();
        return false;
    }
    return true;
}

bool TesselFile::WriteBytes(const void* data, std::uint32_t length) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::uint32_t total = 0;
    while (total < length) {
        const std::uint32_t asked = std::min(length - total, kMaxTransfer);
        const ssize_t written = ::write(data_->fd, bytes + total, asked);
        if (written < 0 && errno == EINTR) continue;
        if (written < 0 || static_cast<std::uint32_t>(written) < asked) return false;
        total += asked;
    }
    return true;
}

bool FileExists(const char16_t* path) {
    int fd = Posix::OpenRegularFile(SystemPath(path), O_RDONLY);
    if (fd < 0) return false;
    Posix::CloseDescriptor(fd);
    return true;
}

bool RemoveFile(const char16_t* path) {
    const std::string bytes = SystemPath(path);
    // The counterpart of clearing FILE_ATTRIBUTE_READONLY: give the owner
    // write permission. Its result is ignored, as the design says.
    struct stat st;
    if (::lstat(bytes.c_str(), &st) == 0 && S_ISREG(st.st_mode) && !(st.st_mode & S_IWUSR)) {
        (void)::chmod(bytes.c_str(), (st.st_mode & 07777) | S_IWUSR);
    }
    return ::unlink(bytes.c_str()) == 0;
}

const std::uint8_t* FindHelpResource(ModuleHandle /*module*/, std::uint32_t* size) {
    // No resources on POSIX: the help page is compiled into the executable.
    const std::uint32_t length = Embedded::helpPage_size;
    if (size) *size = length;
    return length ? Embedded::helpPage : nullptr;
}

}  // namespace TesselLibrary
