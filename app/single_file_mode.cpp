// One file and its 32-byte companion "<file>.md5" (rewrite: "<file>.md5x").
#include <cstring>

#include "checksum_app.h"
#include "string_ids.h"

using namespace TesselLibrary;

bool ChecksumApp::runSingleFile() {
    char digest[32];
    if (!computeDigest(singleFile, digest)) return true;  // the digest logged what it could

    bool ok = true;
    TesselFile companion(singleFile + u".md5");
    if (create && !companion.Write(digest, sizeof digest)) ok = false;

    if (verify) {
        char stored[32] = {};
        std::uint32_t count = 0;
        // A companion cut short holds no complete digest to compare with.
        if (!companion.OpenRead() || !companion.Read(stored, sizeof stored, &count) || count < sizeof stored) {
            log->Write(singleFile);
            log->WriteLine(frame.ResourceString(kMissingData));
            ok = false;
        } else if (std::memcmp(digest, stored, sizeof digest) != 0) {
            ok = false;
            log->Write(singleFile);
            log->Write(frame.ResourceString(kMd5Mismatch));
            log->Write(u" (");
            log->Write(std::u16string(digest, digest + 32));
            log->Write(u" - ");
            std::u16string shown;
            for (const char c : stored) {
                if (c == '\0') break;
                shown.push_back(static_cast<unsigned char>(c));
            }
            log->Write(shown);
            log->WriteLine(u")");
            if (rewriteOnDifference) {
                TesselFile rewrite(singleFile + u".md5x");
                if (!rewrite.Write(digest, sizeof digest)) ok = false;
            }
        }
    }
    return ok;
}
