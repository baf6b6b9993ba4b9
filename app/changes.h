// What a check that looks for new files (-a) can say only at its end: the
// listed files that are gone, the files that are new, and which of them are
// one file moved. A gone file whose recorded digest is that of exactly one
// new file (not an empty one), and of no other gone file, was moved there
// (a file the summary lists twice is one gone file, and one move); where
// more than one could be meant, each is said as what it is.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "problem_log.h"

struct Change {
    enum class Kind { Gone, New } kind;
    std::u16string path;
    char digits[32];          // Gone: as recorded; New: as computed
    std::uint64_t bytes = 0;  // New: the file's size
};

// For each change, the index of the other end of its move, if it is one
// (of a new file: the first line of the gone file).
std::vector<std::optional<std::size_t>> pairMoves(const std::vector<Change>& changes);

class Changes {
public:
    void gone(const std::u16string& path, const char (&recorded)[32]);
    void added(const std::u16string& path, const char (&computed)[32], std::uint64_t bytes);
    bool anyNew() const { return anyNew_; }

    // Logs every change in the order met: a gone file as " - Moved to " its
    // new place, or " - File Not Found"; a new file that is no move's end as
    // " - New File". A file gone or moved is a problem (the summary no
    // longer names where it is); new files alone are news.
    void report(const ProblemLog& problems) const;

private:
    std::vector<Change> changes_;
    bool anyNew_ = false;
};
