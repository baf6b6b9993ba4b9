// TesselMappedFile, POSIX backend: mmap(2), read-only.
//
// The three resources of a mapped view (file, mapping, view) become: `fd` (the file), `mapping` (a flag:
// POSIX has no mapping object, a mapping "exists" when the file was open and
// not empty), and `view`/`viewLength` (the current mmap region).
//
// Truncation guard. Windows keeps a mapped file from being truncated; POSIX
// does not. When another process truncates a file while we hold a view of
// it, touching a page past the new end raises SIGBUS, which would kill the
// program. ReadView therefore runs its consumer under a guard: a
// process-wide SIGBUS handler (installed once) and a per-thread record of
// the view being read and of where to jump back to. A SIGBUS whose fault
// address lies inside the armed view of the faulting thread siglongjmp's back
// into ReadView, which returns false; any other SIGBUS goes to the handler
// that was installed before ours (or takes the default action). The handler
// only reads thread-local plain data and calls siglongjmp / sigaction /
// raise, all async-signal-safe. sigsetjmp(buf, 1) restores the signal mask,
// so SIGBUS is not left blocked after the jump.
#include "tessel_mapped_file.h"

#include <csetjmp>
#include <csignal>
#include <mutex>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "error_kinds.h"
#include "regular_file.h"
#include "text.h"

static_assert(sizeof(off_t) == 8, "TesselMappedFile needs 64-bit file offsets");

namespace TesselLibrary {

namespace {

// What the faulting thread was reading; empty (jump null) while unarmed.
struct ReadGuard {
    sigjmp_buf* jump;
    const std::uint8_t* begin;
    const std::uint8_t* end;
};

// initial-exec: reading it in a signal handler never allocates.
__attribute__((tls_model("initial-exec"))) thread_local ReadGuard tGuard = {nullptr, nullptr, nullptr};

struct sigaction gPreviousSigbus;

void OnSigbus(int signal, siginfo_t* info, void* context) {
    ReadGuard& guard = tGuard;
    if (guard.jump && info) {
        const auto* address = static_cast<const std::uint8_t*>(info->si_addr);
        if (address >= guard.begin && address < guard.end) {
            sigjmp_buf* jump = guard.jump;
            guard.jump = nullptr;
            siglongjmp(*jump, 1);
        }
    }
    // Not ours: behave as the previous disposition would.
    if (gPreviousSigbus.sa_flags & SA_SIGINFO) {
        if (gPreviousSigbus.sa_sigaction) {
            gPreviousSigbus.sa_sigaction(signal, info, context);
            return;
        }
    } else if (gPreviousSigbus.sa_handler == SIG_IGN) {
        // A signal sent by kill() can be ignored; a real fault cannot, since
        // returning would run the faulting instruction again forever.
        if (info && info->si_code <= 0) return;
    } else if (gPreviousSigbus.sa_handler != SIG_DFL) {
        gPreviousSigbus.sa_handler(signal);
        return;
    }
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    ::sigaction(signal, &fallback, nullptr);
    ::raise(signal);  // delivered when the handler returns (SIGBUS is blocked meanwhile)
}

void InstallSigbusHandler() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action {};
        action.sa_sigaction = OnSigbus;
        action.sa_flags = SA_SIGINFO | SA_ONSTACK;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGBUS, &action, &gPreviousSigbus);
    });
}

}  // namespace

struct TesselMappedFileData {
    const std::uint8_t* view = nullptr;
    int fd = -1;
    bool notFound = false;
    bool mapping = false;
    std::size_t viewLength = 0;

    void Unmap() {
        if (view) {
            ::munmap(const_cast<std::uint8_t*>(view), viewLength);
            view = nullptr;
            viewLength = 0;
        }
    }

    void Map(std::uint64_t offset, std::uint64_t length) {
        if (length == 0 || length > SIZE_MAX || offset > static_cast<std::uint64_t>(INT64_MAX)) return;
        void* address =
            ::mmap(nullptr, static_cast<std::size_t>(length), PROT_READ, MAP_SHARED, fd, static_cast<off_t>(offset));
        if (address == MAP_FAILED) return;
        view = static_cast<const std::uint8_t*>(address);
        viewLength = static_cast<std::size_t>(length);
        // The digest reads each view once, front to back.
        ::posix_madvise(address, viewLength, POSIX_MADV_SEQUENTIAL);
    }
};

TesselMappedFile::TesselMappedFile(const char16_t* path) : data_(std::make_unique<TesselMappedFileData>()) {
    data_->fd =
        Posix::OpenRegularFile(ToSystemBytes(path ? std::u16string_view(path) : std::u16string_view()), O_RDONLY);
    if (data_->fd < 0) {
        data_->notFound = Posix::IsNotFoundError(errno);
        return;
    }
    struct stat st;
    if (::fstat(data_->fd, &st) != 0 || st.st_size <= 0) return;  // a zero-length file has no mapping
    data_->mapping = true;
    data_->Map(0, static_cast<std::uint64_t>(st.st_size));  // first view: the whole file (may fail)
}

TesselMappedFile::~TesselMappedFile() {
    data_->Unmap();
    data_->mapping = false;
    Posix::CloseDescriptor(data_->fd);
}

bool TesselMappedFile::IsOpen() const { return data_->fd >= 0; }

bool TesselMappedFile::NotFound() const { return data_->notFound; }

std::uint64_t TesselMappedFile::Size() const {
    if (data_->fd < 0) return 0;
    struct stat st;
    if (::fstat(data_->fd, &st) != 0 || st.st_size < 0) return 0;
    return static_cast<std::uint64_t>(st.st_size);
}

void TesselMappedFile::MapWindow(std::uint64_t offset, std::uint32_t length) {
    if (data_->fd < 0 || !data_->mapping) return;
    data_->Unmap();
    data_->Map(offset, length);
}

const std::uint8_t* TesselMappedFile::view() const { return data_->view; }

bool TesselMappedFile::ReadView(std::uint32_t length,
                                const std::function<bool(const std::uint8_t* bytes, std::uint32_t length)>& use) const {
    const std::uint8_t* bytes = data_->view;
    if (!bytes || length > data_->viewLength) return false;
    InstallSigbusHandler();

    // The consumer may itself read a view (nesting): keep the outer guard.
    const ReadGuard outer = tGuard;
    sigjmp_buf jump;
    if (sigsetjmp(jump, 1) != 0) {
        // The pages vanished underneath: the file was truncated. Frames of
        // `use` were left without unwinding; consumers hold no objects with
        // destructors while reading (they feed the bytes to a C hash API).
        tGuard = outer;
        return false;
    }
    tGuard = ReadGuard{&jump, bytes, bytes + length};
    bool result;
    try {
        result = use(bytes, length);
    } catch (...) {
        tGuard = outer;
        throw;
    }
    tGuard = outer;
    return result;
}

}  // namespace TesselLibrary
