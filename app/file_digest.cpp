// The one place where file contents are read: MD5 fed window by window
// through the mapped view's ReadView, which reports a read that failed or
// came up short instead of letting it end the process.
#include <cstdint>

#include "checksum_app.h"
#include "md5.h"
#include "string_ids.h"
#include "tessel_mapped_file.h"

using namespace TesselLibrary;

namespace {

// Views stay within what a 32-bit process can map.
constexpr std::uint64_t kWindowSize = std::uint64_t{1} << 30;

bool HashWindows(TesselMappedFile& file, Md5Hash& hash) {
    const std::uint64_t size = file.Size();
    std::uint64_t offset = 0;
    std::uint32_t window = static_cast<std::uint32_t>(size >= kWindowSize ? kWindowSize : size);
    while (offset < size) {
        file.MapWindow(offset, window);
        const bool hashed = file.ReadView(window, [&](const std::uint8_t* bytes, std::uint32_t length) {
            return hash.Update(bytes, length);
        });
        if (!hashed) return false;
        offset += kWindowSize;
        if (offset + window > size) window = static_cast<std::uint32_t>(size - offset);
    }
    return true;
}

}  // namespace

DigestResult ChecksumApp::digestFile(const std::u16string& path, char (&out)[32]) const {
    Md5Provider provider;
    if (!provider.ok()) return DigestResult::Unreadable;
    auto hash = std::make_unique<Md5Hash>(provider);
    if (!hash->ok()) return DigestResult::Unreadable;
    auto file = std::make_unique<TesselMappedFile>(path.c_str());

    // The system's own reason for a failed open decides: only a path that
    // is not there is "not found"; a file that is there but cannot be read
    // must never pass for a missing one.
    DigestResult result = file->NotFound() ? DigestResult::NotFound : DigestResult::Unreadable;
    std::uint8_t value[16];
    if (file->IsOpen() && HashWindows(*file, *hash) && hash->Final(value)) {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        for (int k = 0; k < 16; ++k) {
            out[2 * k] = kDigits[value[k] >> 4];
            out[2 * k + 1] = kDigits[value[k] & 0x0F];
        }
        result = DigestResult::Computed;
    }
    // The hash object goes first, then the view, mapping and file; the
    // provider last.
    hash.reset();
    file.reset();
    return result;
}

bool ChecksumApp::computeDigest(const std::u16string& path, char (&out)[32]) const {
    const DigestResult result = digestFile(path, out);
    logDigestFailure(path, result);
    return result == DigestResult::Computed;
}

void ChecksumApp::logDigestFailure(const std::u16string& path, DigestResult result) const {
    if (result == DigestResult::NotFound) logProblem(path, kFileNotFound);
    if (result == DigestResult::Unreadable) logProblem(path, kErrorComputingMd5);
}
