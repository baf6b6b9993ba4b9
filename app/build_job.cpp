// Building the folder summary: collect the folders, then one line per file.
#include "checksum_app.h"
#include "directory_search.h"
#include "name_compare.h"
#include "string_ids.h"
#include "summary_format.h"

using namespace TesselLibrary;

bool sameNameIgnoringCase(const std::u16string& a, const std::u16string& b) {
    return NamesEqualIgnoringCase(b, a);
}

std::uint32_t TESSEL_STDCALL ChecksumApp::buildJob(void* app) {
    static_cast<ChecksumApp*>(app)->buildSummary();
    return 0;
}

void ChecksumApp::collectFolders(const std::u16string& path) {
    for (const std::u16string& excluded : excludedFolders) {
        if (sameNameIgnoringCase(excluded, path)) return;
    }
    std::u16string folderPath = path;
    AppendBackslash(folderPath);
    folders.push_back(folderPath);
    if (!recursive) return;

    DirectorySearch search(folderPath);
    DirectoryEntry entry;
    while (search.Next(entry)) {
        // A linked folder may lead back up the tree: it is never entered.
        if (entry.isDirectory && !entry.isLink && !entry.name.empty() && entry.name[0] != u'.') {
            collectFolders(folderPath + entry.name);
        }
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

    const std::uint32_t n = static_cast<std::uint32_t>(folders.size());
    std::uint32_t share = 0;  // 80 * i, grown per folder
    for (const std::u16string& current : folders) {
        progress->SetPosition(20 + share / n);
        share += 80;
        progress->SetStatus(current.c_str());

        DirectorySearch search(current);
        DirectoryEntry entry;
        while (search.Next(entry)) {
            if (entry.isDirectory || sameNameIgnoringCase(summaryName, entry.name)) continue;
            const std::u16string path = current + entry.name;
            char digest[32];
            if (!computeDigest(path, digest)) {
                problemFound = true;
                continue;
            }
            if (!writeSummaryLine(*summaryFile, digest, path)) {
                log->Write(path);
                log->WriteLine(frame.ResourceString(kUnableToWrite));
                problemFound = true;
            }
        }
    }
    progress->EndJob(problemFound);
}
