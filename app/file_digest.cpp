// The one place where file contents are read: MD5 fed window by window
// straight from the mapped pages.
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

bool ChecksumApp::computeDigest(const std::u16string& path, char (&out)[32]) const {
    Md5Provider provider;
    if (!provider.ok()) return false;
    auto hash = std::make_unique<Md5Hash>(provider);
    if (!hash->ok()) return false;
    auto file = std::make_unique<TesselMappedFile>(path.c_str());

    bool result = false;
    std::uint8_t value[16];
    if (file->view() == nullptr && !FileExists(path.c_str())) {
        log->Write(path);
        log->WriteLine(frame.ResourceString(kFileNotFound));
    } else if (HashWindows(*file, *hash) && hash->Final(value)) {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        for (int k = 0; k < 16; ++k) {
            out[2 * k] = kDigits[value[k] >> 4];
            out[2 * k + 1] = kDigits[value[k] & 0x0F];
        }
        result = true;
    }
    // The hash object goes first, then the view, mapping and file; the
    // provider last.
    hash.reset();
    file.reset();
    return result;
}
