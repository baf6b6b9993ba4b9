// Verifying the folder summary: read and parse it whole, then check every
// entry, and keep a rewrite only when asked for and something was wrong.
#include "checksum_app.h"
#include "string_ids.h"
#include "summary_format.h"

using namespace TesselLibrary;

std::uint32_t TESSEL_STDCALL ChecksumApp::verifyJob(void* app) {
    static_cast<ChecksumApp*>(app)->verifySummary();
    return 0;
}

void ChecksumApp::verifySummary() {
    bool problemFound = false;
    progress->SetPosition(5);
    const std::u16string status = folder.empty() ? DirectoryOf(singleFile) : folder;
    progress->SetStatus(status.c_str());

    std::vector<std::uint8_t> bytes;
    if (!summaryFile->ReadAll(bytes)) {
        // Nothing to check is not a clean bill of health: say so, fail, and
        // leave any earlier rewrite summary where it is.
        logProblem(summaryPath(), kMissingData);
        progress->SetPosition(15);
        progress->EndJob(true);
        return;
    }
    progress->SetPosition(10);
    bool anyInvalid = false;
    const std::vector<SummaryEntry> entries = parseSummary(bytes, summaryName, *log, frame, anyInvalid);
    if (anyInvalid) problemFound = true;
    progress->SetPosition(15);

    const std::uint32_t n = static_cast<std::uint32_t>(entries.size());
    std::uint32_t share = 0;  // 80 * i, grown per entry
    bool anyLine = false;
    for (const SummaryEntry& entry : entries) {
        progress->SetPosition(20 + share / n);
        share += 80;
        std::u16string name = entry.name;
        char digest[32];
        DigestResult result = digestFile(name, digest);
        if (result == DigestResult::NotFound) {
            // The same bytes may have been meant in the other encoding a
            // summary line can hold (a Latin-1 name can look like UTF-8).
            const std::u16string other = otherReading(name);
            if (!other.empty()) {
                const DigestResult otherResult = digestFile(other, digest);
                if (otherResult != DigestResult::NotFound) {
                    name = other;
                    result = otherResult;
                }
            }
        }
        if (result != DigestResult::Computed) {
            logDigestFailure(name, result);
            problemFound = true;
            continue;
        }
        if (!sameDigest(entry.digest, digest)) {
            problemFound = true;
            logMismatch(name, std::u16string(entry.digest, entry.digest + 32), std::u16string(digest, digest + 32));
        }
        if (rewriteOnDifference) {
            anyLine = true;
            if (!writeSummaryLine(*rewriteFile, digest, name)) {
                logProblem(name, kUnableToWrite);
                problemFound = true;
            }
        }
    }
    if (problemFound && rewriteOnDifference) {
        // Kept only when complete; with no line written an older rewrite
        // stays as it was.
        if (anyLine && !rewriteFile->Commit()) logProblem(summaryPath() + u"X", kUnableToWrite);
    } else {
        rewriteFile->Delete();
    }
    progress->EndJob(problemFound);
}
