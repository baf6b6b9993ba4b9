#include "file_digest.h"

using namespace TesselLibrary;

FileDigester::FileDigester() : hash_(provider_) {}

FileDigest FileDigester::digest(const std::u16string& path) {
    FileDigest done;
    // A digest left unfinished by a failed file must not leak into the next.
    if (hashUsed_ && !hash_.Restart()) return done;
    hashUsed_ = true;
    if (!hash_.ok()) return done;

    const ReadOutcome outcome = reader_.ReadWhole(path, [&](const std::uint8_t* bytes, std::size_t length) {
        done.bytes += length;
        return hash_.Update(bytes, static_cast<std::uint32_t>(length));
    });
    // The system's own reason for a failed open decides: only a path that is
    // not there is "not found"; a file that is there but cannot be read must
    // never pass for a missing one.
    if (outcome == ReadOutcome::NotFound) {
        done.result = DigestResult::NotFound;
        return done;
    }
    std::uint8_t value[16];
    if (outcome != ReadOutcome::Complete || !hash_.Final(value)) return done;
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (int k = 0; k < 16; ++k) {
        done.digits[2 * k] = kDigits[value[k] >> 4];
        done.digits[2 * k + 1] = kDigits[value[k] & 0x0F];
    }
    done.result = DigestResult::Computed;
    return done;
}
