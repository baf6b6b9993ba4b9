// The files that keep a folder's summary company: the summary itself, its
// rewrite, the place a check in slices keeps and the records of dates
// beside the summary and the rewrite. Each changes with the summary or is
// it, so no line of the summary can ever check one: a line naming one, in
// any spelling that reaches it (relative or whole, "./", md5sum's mark, as
// a move of the summary puts it), names no file to check, as the summary's
// bare name never did.
#pragma once

#include <string>
#include <vector>

#include "relocation.h"
#include "summary_format.h"

class OwnFiles {
public:
    OwnFiles() = default;  // none: no line is one of them
    // `folderPath`: the folder checked, as the paths below it start (empty:
    // the current folder); `currentFolder`: the current folder, whole, with
    // its separator, from which relative names are found.
    OwnFiles(const std::u16string& summaryName, const std::u16string& folderPath, const std::u16string& currentFolder);

    // Whether any reading of the entry, where `relocation` puts it, is one
    // of the files.
    bool named(const SummaryEntry& entry, const Relocation& relocation) const;

private:
    bool names(const std::u16string& name) const;

    std::vector<std::u16string> bareNames_;  // the files' names, as written
    std::vector<std::u16string> names_;      // the same, as the system compares them
    std::vector<std::u16string> paths_;      // their whole plain paths, as the system compares them
    std::u16string current_;
};
