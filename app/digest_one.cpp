// One file's digest for the single-file mode and the clipboard action: the
// same pure digest the folder jobs use, on the calling thread.
#include <cstring>

#include "checksum_app.h"

DigestResult ChecksumApp::digestFile(const std::u16string& path, char (&out)[32]) const {
    FileDigester digester;
    const FileDigest digest = digester.digest(path);
    if (digest.result == DigestResult::Computed) std::memcpy(out, digest.digits, sizeof out);
    return digest.result;
}

bool ChecksumApp::computeDigest(const std::u16string& path, char (&out)[32]) const {
    const DigestResult result = digestFile(path, out);
    problems.logDigestFailure(path, result);
    return result == DigestResult::Computed;
}
