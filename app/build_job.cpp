// Building the folder summary: collect the folders, then one line per file.
#include <algorithm>

#include "checksum_app.h"
#include "directory_search.h"
#include "name_compare.h"
#include "string_ids.h"
#include "summary_format.h"

using namespace TesselLibrary;

namespace {

// Every entry of the folder, read before anything is done with them, so
// that no more than one folder is open at a time however deep the tree is.
// False when the listing failed (some entries may still have come).
bool ListFolder(const std::u16string& folder, std::vector<DirectoryEntry>& entries) {
    DirectorySearch search(folder);
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

std::uint32_t TESSEL_STDCALL ChecksumApp::buildJob(void* app) {
    static_cast<ChecksumApp*>(app)->buildSummary();
    return 0;
}

void ChecksumApp::collectFolders(const std::u16string& path) {
    // Depth-first, a folder before its subfolders, each level in listing
    // order; an explicit stack instead of recursion, so that no depth of
    // tree can exhaust the worker thread's stack.
    std::vector<std::u16string> pending{path};
    while (!pending.empty()) {
        std::u16string current = std::move(pending.back());
        pending.pop_back();
        bool excluded = false;
        for (const std::u16string& entry : excludedFolders) excluded = excluded || sameNameIgnoringCase(entry, current);
        if (excluded) continue;
        AppendBackslash(current);
        folders.push_back(current);
        if (!recursive) continue;

        std::vector<DirectoryEntry> entries;
        if (!ListFolder(current, entries)) incompletelyListed.insert(folders.size() - 1);
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

void ChecksumApp::buildSummary() {
    bool problemFound = false;
    progress->SetPosition(0);
    for (std::u16string& excluded : excludedFolders) {
        std::u16string full = folder;
        AppendBackslash(full);
        excluded = full + excluded;
    }
    progress->SetPosition(5);
    collectFolders(folder);
    progress->SetPosition(15);

    // Neither the summary nor its rewrite is a file of the tree, in any
    // folder; nor are their temporary files, which a killed run may have
    // left in the folder being built.
    const std::u16string rewriteName = summaryName + u"X";
    const auto isSummary = [&](const std::u16string& name) {
        return sameNameIgnoringCase(summaryName, name) || sameNameIgnoringCase(rewriteName, name);
    };
    const auto isTemporary = [&](const std::u16string& name) {
        return IsTemporaryNameOf(name, summaryName) || IsTemporaryNameOf(name, rewriteName);
    };

    const std::uint32_t n = static_cast<std::uint32_t>(folders.size());
    std::uint32_t share = 0;  // 80 * i, grown per folder
    bool anyLine = false;
    for (std::size_t i = 0; i < folders.size(); ++i) {
        const std::u16string& current = folders[i];
        progress->SetPosition(20 + share / n);
        share += 80;
        progress->SetStatus(current.c_str());

        std::vector<DirectoryEntry> entries;
        if (!ListFolder(current, entries) || incompletelyListed.count(i) != 0) {
            logProblem(current, kUnableToReadFolder);
            problemFound = true;
        }
        for (const DirectoryEntry& entry : entries) {
            if (entry.isDirectory || isSummary(entry.name)) continue;
            if (isTemporary(entry.name)) {
                if (i == 0) RemoveFile((current + entry.name).c_str());
                continue;
            }
            const std::u16string path = current + entry.name;
            if (!FitsOnOneLine(path)) {
                logProblem(path, kUnableToWrite);
                problemFound = true;
                continue;
            }
            char digest[32];
            if (!computeDigest(path, digest)) {
                problemFound = true;
                continue;
            }
            anyLine = true;
            if (!writeSummaryLine(*summaryFile, digest, path)) {
                logProblem(path, kUnableToWrite);
                problemFound = true;
            }
        }
    }
    // The old summary is replaced only by a complete new one; a build that
    // wrote no line leaves it as it is.
    if (anyLine && !summaryFile->Commit()) {
        logProblem(summaryPath(), kUnableToWrite);
        problemFound = true;
    }
    progress->EndJob(problemFound);
}
