// Verifying the folder summary: read and parse it whole, then check every
// entry, and keep a rewrite only when asked for and something was wrong.
#include <cstring>

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
        std::u16string summaryPath = folder;
        AppendBackslash(summaryPath);
        log->Write(summaryPath + summaryName);
        log->WriteLine(frame.ResourceString(kMissingData));
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
    for (const SummaryEntry& entry : entries) {
        progress->SetPosition(20 + share / n);
        share += 80;
        char digest[32];
        if (!computeDigest(entry.name, digest)) {
            problemFound = true;
            continue;
        }
        if (std::memcmp(digest, entry.digest, sizeof digest) != 0) {
            problemFound = true;
            log->Write(entry.name);
            log->Write(frame.ResourceString(kMd5Mismatch));
            log->Write(u" (");
            log->Write(std::u16string(entry.digest, entry.digest + 32));
            log->Write(u" - ");
            log->Write(std::u16string(digest, digest + 32));
            log->WriteLine(u")");
        }
        if (rewriteOnDifference && !writeSummaryLine(*rewriteFile, digest, entry.name)) {
            log->Write(entry.name);
            log->WriteLine(frame.ResourceString(kUnableToWrite));
            problemFound = true;
        }
    }
    if (!problemFound || !rewriteOnDifference) rewriteFile->Delete();
    progress->EndJob(problemFound);
}
