#include "build_job.h"

#include <algorithm>

#include "checksum_app.h"
#include "directory_search.h"
#include "engine/digest_pool.h"
#include "name_compare.h"
#include "string_ids.h"
#include "summary_format.h"

using namespace TesselLibrary;

namespace {

// Every entry of the folder, read before anything is done with them, so
// that no more than one folder is open at a time however deep the tree is.
// False when the listing failed (some entries may still have come).
bool ListFolder(const std::u16string& folder, std::vector<DirectoryEntry>& entries, bool sizes = false) {
    DirectorySearch search(folder, sizes);
    DirectoryEntry entry;
    while (search.Next(entry)) entries.push_back(entry);
    return !search.failed();
}

// A summary line ends at a carriage return or a line feed, so a name holding
// one cannot be recorded.
bool FitsOnOneLine(const std::u16string& path) { return path.find_first_of(u"\r\n") == std::u16string::npos; }

}  // namespace

bool sameNameIgnoringCase(const std::u16string& a, const std::u16string& b) {
    return NamesEqualIgnoringCase(b, a);
}

BuildJob::BuildJob(const RunSettings& settings, const ProblemLog& problems, TesselProgress& progress,
                   TesselFile& summaryFile)
    : settings_(settings), problems_(problems), progress_(progress), summaryFile_(summaryFile) {
    std::u16string root = settings.folder;
    AppendBackslash(root);
    for (const std::u16string& excluded : settings.excludedFolders) excludedFolders_.push_back(root + excluded);
}

void BuildJob::collectFolders(const std::u16string& path) {
    // Depth-first, a folder before its subfolders, each level in listing
    // order; an explicit stack instead of recursion, so that no depth of
    // tree can exhaust the worker thread's stack.
    std::vector<std::u16string> pending{path};
    while (!pending.empty()) {
        std::u16string current = std::move(pending.back());
        pending.pop_back();
        bool excluded = false;
        for (const std::u16string& entry : excludedFolders_) excluded = excluded || sameNameIgnoringCase(entry, current);
        if (excluded) continue;
        AppendBackslash(current);
        folders_.push_back(current);
        if (!settings_.recursive) continue;

        std::vector<DirectoryEntry> entries;
        if (!ListFolder(current, entries)) incompletelyListed_.insert(folders_.size() - 1);
        const std::size_t firstChild = pending.size();
        for (const DirectoryEntry& entry : entries) {
            // A linked folder may lead back up the tree: it is never entered.
            if (entry.isDirectory && !entry.isLink && !entry.name.empty() && entry.name[0] != u'.') {
                pending.push_back(current + entry.name);
            }
        }
        std::reverse(pending.begin() + static_cast<std::ptrdiff_t>(firstChild), pending.end());
    }
}

// Neither the summary nor its rewrite is a file of the tree, in any folder;
// nor are their temporary files, which a killed run may have left in the
// folder being built.
bool BuildJob::isSummaryName(const std::u16string& name) const {
    return sameNameIgnoringCase(settings_.summaryName, name) || sameNameIgnoringCase(settings_.summaryName + u"X", name);
}

bool BuildJob::isTemporaryName(const std::u16string& name) const {
    return IsTemporaryNameOf(name, settings_.summaryName) || IsTemporaryNameOf(name, settings_.summaryName + u"X");
}

std::vector<BuildJob::Item> BuildJob::listFiles(bool sizes) {
    std::vector<Item> items;
    for (std::size_t i = 0; i < folders_.size(); ++i) {
        const std::u16string& current = folders_[i];
        progress_.SetStatus(current.c_str());
        std::vector<DirectoryEntry> entries;
        if (!ListFolder(current, entries, sizes) || incompletelyListed_.count(i) != 0) {
            items.push_back({Item::Kind::UnreadableFolder, current, i, 0});
        }
        for (const DirectoryEntry& entry : entries) {
            if (entry.isDirectory || isSummaryName(entry.name)) continue;
            if (isTemporaryName(entry.name)) {
                if (i == 0) RemoveFile((current + entry.name).c_str());
                continue;
            }
            const std::u16string path = current + entry.name;
            const Item::Kind kind = FitsOnOneLine(path) ? Item::Kind::File : Item::Kind::UnwritableName;
            items.push_back({kind, path, i, entry.size});
        }
    }
    return items;
}

void BuildJob::buildSummary() {
    bool problemFound = false;
    progress_.SetPosition(0);
    progress_.SetPosition(5);
    collectFolders(settings_.folder);
    progress_.SetPosition(15);

    const bool sizes = ProgressShowsCounts();
    const std::vector<Item> items = listFiles(sizes);
    std::vector<DigestTask> tasks;
    ProgressCounts counts;
    for (const Item& item : items) {
        if (item.kind != Item::Kind::File) continue;
        tasks.push_back({item.path, {}});
        counts.bytesTotal += item.size;
    }
    counts.filesTotal = tasks.size();
    DigestPool pool(std::move(tasks), hashingThreads());

    // From here on every line, in the summary and in the log, is written in
    // list order, whichever thread hashed the file.
    // The bar follows the files done, as in the verification; the status
    // line names the folder they are in.
    std::size_t shownFolder = folders_.size();  // none yet
    std::uint32_t shownPosition = 15;
    bool anyLine = false;
    for (const Item& item : items) {
        const auto position = static_cast<std::uint32_t>(
            counts.filesTotal == 0 ? 20 : 20 + 80 * counts.filesDone / counts.filesTotal);
        // Sent only when it moves: each update waits for the display.
        if (position != shownPosition) progress_.SetPosition(position);
        shownPosition = position;
        if (item.folder != shownFolder) {
            progress_.SetStatus(folders_[item.folder].c_str());
            shownFolder = item.folder;
        }
        if (item.kind == Item::Kind::UnreadableFolder) {
            problems_.logProblem(item.path, kUnableToReadFolder);
            problemFound = true;
            continue;
        }
        if (item.kind == Item::Kind::UnwritableName) {
            problems_.logProblem(item.path, kUnableToWrite);
            problemFound = true;
            continue;
        }
        const DigestDone done = pool.next();
        counts.filesDone += 1;
        counts.bytesDone += sizes ? item.size : done.digest.bytes;
        progress_.SetCounts(counts);
        if (done.digest.result != DigestResult::Computed) {
            problems_.logDigestFailure(item.path, done.digest.result);
            problemFound = true;
            continue;
        }
        anyLine = true;
        if (!writeSummaryLine(summaryFile_, done.digest.digits, item.path)) {
            problems_.logProblem(item.path, kUnableToWrite);
            problemFound = true;
        }
    }
    // The old summary is replaced only by a complete new one; a build that
    // wrote no line leaves it as it is.
    if (anyLine && !summaryFile_.Commit()) {
        problems_.logProblem(settings_.summaryPath(), kUnableToWrite);
        problemFound = true;
    }
    progress_.EndJob(problemFound);
}
