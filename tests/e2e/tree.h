// Trees of files for the end-to-end cases: making them, and the summary the
// program must write for them, in the order it walks them.
#pragma once

#include <string>
#include <vector>

#include "harness.h"

namespace e2e {

struct Recorded {
    std::string rel;         // below the root, "/"-separated, as named on disk
    std::string content;     // the bytes whose digest is expected
    std::string recordedAs;  // the name part as it appears in the summary, when it differs from `rel`
};

void MakeTree(const fs::path& root, const std::vector<Recorded>& files);
// The files of `all` named in `rels`, in that order.
std::vector<Recorded> Only(const std::vector<Recorded>& all, const std::vector<std::string>& rels);
// Walk order of the program: a folder's own files first (in listing order),
// then its subfolders depth-first, each level in listing order.
std::vector<Recorded> InWalkOrder(const fs::path& rootDir, std::vector<Recorded> files);
// How the program spells a recorded file: the -f text, a separator unless it
// already ends in one, then the subfolders and the name.
std::string Spelled(const std::string& rootText, const Recorded& file);
// Whether `folder` holds the temporary file of a replacement in progress (or
// one a killed run left): ".sumvane-", eight letters or digits, ".tmp".
bool HasTemporaryFile(const fs::path& folder);
// The exact bytes of the summary of `files` below `rootDir` built with -f`rootText`.
std::string ExpectedSummary(const std::string& rootText, const fs::path& rootDir, std::vector<Recorded> files);
// The exact bytes of the record beside that summary (Sumvane.md5.dates), with
// each file's size and date as they are now: per entry its size and date (in
// 100-nanosecond ticks since 1970), 64-bit little-endian numbers; then the
// entry count, the FNV-1a fingerprint of the entries' digits and names (as
// UTF-16LE units, each name ended by two zero bytes) and "SVDATES1".
// Names of ASCII characters only.
std::string ExpectedDates(const std::string& rootText, const fs::path& rootDir, std::vector<Recorded> files);

}  // namespace e2e
