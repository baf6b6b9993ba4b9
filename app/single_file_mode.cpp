// One file and its 32-byte companion "<file>.md5" (rewrite: "<file>.md5x"),
// both in the folder the file's path led to at the start.
#include "single_file_mode.h"

#include <algorithm>

#include "named_file.h"
#include "string_ids.h"
#include "summary_format.h"

using namespace TesselLibrary;

namespace {

// The 32 bytes of the companion's digest, after the mark an editor that
// saved it as UTF-8 may have put first. False when the companion cannot be
// read or is cut short: it holds no complete digest to compare with.
bool ReadStoredDigest(TesselFile& companion, char (&stored)[32]) {
    std::uint8_t bytes[sizeof stored + kUtf8Mark.size()] = {};
    std::uint32_t count = 0;
    if (!companion.OpenRead() || !companion.Read(bytes, sizeof bytes, &count)) return false;
    const std::size_t from = startsWithUtf8Mark(bytes, count) ? kUtf8Mark.size() : 0;
    if (count < from + sizeof stored) return false;
    std::copy(bytes + from, bytes + from + sizeof stored, stored);
    return true;
}

}  // namespace

void runSingleFile(const RunSettings& settings, const ProblemLog& problems,
                   const std::optional<FileDigest>& clipboardDigest) {
    const std::u16string& singleFile = settings.singleFile;
    const NamedFile file(singleFile);
    // The clipboard action has just read the file.
    const FileDigest digest = clipboardDigest ? *clipboardDigest : file.digest();
    if (digest.result != DigestResult::Computed) {
        // Nothing was recorded or checked: that is no success.
        logVerdict(problems, singleFile, judgeDigest(digest.result));
        return;
    }

    TesselFile companion(file.folder, file.name + u".md5");
    if (settings.create && !(companion.Write(digest.digits, sizeof digest.digits) && companion.Commit())) {
        problems.logProblem(singleFile + u".md5", kUnableToWrite);
    }

    if (settings.verify) {
        char stored[32] = {};
        if (!ReadStoredDigest(companion, stored)) {
            problems.logProblem(singleFile, kMissingData);
        } else if (!sameDigest(stored, digest.digits)) {
            // The companion was written after the digest in it was taken.
            FileTime written;
            const Verdict verdict =
                companion.Modified(&written) ? judgeEntry(stored, digest, written) : Verdict::Mismatch;
            // The stored digits are shown up to a zero byte.
            std::u16string shown;
            for (const char c : stored) {
                if (c == '\0') break;
                shown.push_back(static_cast<unsigned char>(c));
            }
            problems.logMismatch(singleFile, {shown, std::u16string(digest.digits, digest.digits + 32), verdict,
                                              digest.modified, DigestOrder::FoundFirst});
            if (settings.check.rewriteOnDifference) {
                TesselFile rewrite(file.folder, file.name + u".md5x");
                if (!(rewrite.Write(digest.digits, sizeof digest.digits) && rewrite.Commit())) {
                    problems.logProblem(singleFile + u".md5x", kUnableToWrite);
                }
            }
        }
    }
}
