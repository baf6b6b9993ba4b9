#include "verify_job.h"

#include "engine/digest_pool.h"
#include "file_reader.h"
#include "string_ids.h"
#include "summary_format.h"

using namespace TesselLibrary;

JobResult VerifyJob::verifySummary() {
    JobResult result;
    bool problemFound = false;
    progress_.SetPosition(5);
    const std::u16string status = settings_.folder.empty() ? DirectoryOf(settings_.singleFile) : settings_.folder;
    progress_.SetStatus(status.c_str());

    std::vector<std::uint8_t> bytes;
    if (!summaryFile_.ReadAll(bytes)) {
        // Nothing to check is not a clean bill of health: say so, fail, and
        // leave any earlier rewrite summary where it is.
        problems_.logProblem(settings_.summaryPath(), kMissingData);
        progress_.SetPosition(15);
        progress_.EndJob(true);
        return result;
    }
    progress_.SetPosition(10);
    bool anyInvalid = false;
    std::vector<SummaryEntry> entries =
        parseSummary(bytes, settings_.summaryName, problems_.log(), problems_.strings(), anyInvalid);
    if (anyInvalid) problemFound = true;
    progress_.SetPosition(15);
    if (entries.empty() && !anyInvalid) {
        // A summary cut to nothing (a crash, a full disk) checks nothing
        // either: the same as a missing one.
        problems_.logProblem(settings_.summaryPath(), kMissingData);
        progress_.EndJob(true);
        return result;
    }

    // The same bytes may have been meant in another encoding a summary line
    // can hold (a Latin-1 name can look like UTF-8): those readings are
    // tried when the first is not found.
    std::vector<DigestTask> tasks;
    tasks.reserve(entries.size());
    ProgressCounts counts;
    const bool sizes = ProgressShowsCounts();
    for (SummaryEntry& entry : entries) {
        tasks.push_back({entry.name, std::move(entry.otherReadings)});
        if (sizes) counts.bytesTotal += FileSizeOf(entry.name);
    }
    counts.filesTotal = entries.size();
    DigestPool pool(std::move(tasks), hashingThreads());

    const std::uint64_t n = entries.size();
    bool anyLine = false;
    std::uint32_t shown = 15;
    for (std::uint64_t i = 0; i < n; ++i) {
        const SummaryEntry& entry = entries[i];
        // Sent only when it moves: each update waits for the display.
        const auto position = static_cast<std::uint32_t>(20 + 80 * i / n);
        if (position != shown) progress_.SetPosition(position);
        shown = position;
        const DigestDone done = pool.next();
        const std::u16string& name = done.alternativeUsed.empty() ? entry.name : done.alternativeUsed;
        counts.filesDone += 1;
        counts.bytesDone += done.digest.bytes;
        progress_.SetCounts(counts);
        if (done.digest.result != DigestResult::Computed) {
            problems_.logDigestFailure(name, done.digest.result);
            problemFound = true;
            continue;
        }
        ++result.files;
        if (!sameDigest(entry.digest, done.digest.digits)) {
            problemFound = true;
            problems_.logMismatch(name, std::u16string(entry.digest, entry.digest + 32),
                                  std::u16string(done.digest.digits, done.digest.digits + 32));
        }
        if (settings_.rewriteOnDifference) {
            anyLine = true;
            if (!writeSummaryLine(rewriteFile_, done.digest.digits, name)) {
                problems_.logProblem(name, kUnableToWrite);
                problemFound = true;
            }
        }
    }
    if (problemFound && settings_.rewriteOnDifference) {
        // Kept only when complete; with no line written an older rewrite
        // stays as it was.
        if (anyLine && !rewriteFile_.Commit()) problems_.logProblem(settings_.summaryPath() + u"X", kUnableToWrite);
    } else {
        rewriteFile_.Delete();
    }
    progress_.EndJob(problemFound);
    return result;
}
