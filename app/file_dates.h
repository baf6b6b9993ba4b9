// Each file's own record of its size and date as they were when it was read,
// kept beside the summary in a file of its own ("Sumvane.md5.dates", and
// "Sumvane.md5X.dates" beside a rewrite), one entry for each of the
// summary's entries, in the summary's order. A check tells an edit from
// damage by the file's date against its entry's, so that neither a long
// build, nor a later date given to the summary (a copy, an edit of a line),
// nor a file dated in the future can turn one into the other.
//
// The summary's lines are not changed for it: other tools read them. The
// record is tied to its summary by the number of its entries and a
// fingerprint of their digests and names, and a record that does not fit the
// summary it lies beside (cut short, of another summary, the summary edited
// since) is no record at all. It is replaced in one step, as a summary is.
//
// Layout, the same on every system: for each entry 16 bytes, the size (0xFF
// bytes throughout: none recorded) and the date in 100-nanosecond ticks since
// 1970-01-01 UTC, each a 64-bit little-endian number (the date a signed one);
// then 24 bytes, the entry count, the fingerprint and the mark "SVDATES1".
//
// Calling sequence:
//
//     FileDatesWriter dates(datesFileBeside(folder, summaryName, summaryPath));
//     dates.add(digits, path, asRead); ...     // with every line of the summary
//     dates.commit();                          // after the summary's own commit
//
//     FileDatesReader dates(datesFileBeside(...));
//     dates.tie(entries, fingerprint);         // false: no record for this summary
//     dates.next(); ...                        // each entry's, in the summary's order
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/digest_result.h"
#include "folder.h"
#include "tessel_file.h"

// The record of `summaryName` in `folder`; by the summary's path when the
// folder could not be opened.
std::unique_ptr<TesselLibrary::TesselFile> fileDatesBeside(const std::shared_ptr<const TesselLibrary::Folder>& folder,
                                                           const std::u16string& summaryName,
                                                           const std::u16string& summaryPath);

// The fingerprint of a summary's entries, in order: FNV-1a over each
// entry's 32 digest bytes and its name's UTF-16 units.
class LinesFingerprint {
public:
    void add(const char (&digest)[32], const std::u16string& name);
    std::uint64_t value() const { return value_; }

private:
    std::uint64_t value_ = 14695981039346656037ull;
};

// One entry's 16 bytes, and back (nothing when the entry has no record).
void appendFileDate(std::string& bytes, const std::optional<FileAsRead>& asRead);
std::optional<FileAsRead> readFileDate(const std::uint8_t* bytes);
inline constexpr std::size_t kFileDateBytes = 16;
inline constexpr std::size_t kFileDatesTieBytes = 24;
// A date as the record keeps it: to 100 nanoseconds (the finest Windows
// keeps, so that both systems record a file alike).
TesselLibrary::FileTime asRecorded(const TesselLibrary::FileTime& time);

class FileDatesWriter {
public:
    explicit FileDatesWriter(std::unique_ptr<TesselLibrary::TesselFile> file) : file_(std::move(file)) {}
    FileDatesWriter(const FileDatesWriter&) = delete;
    FileDatesWriter& operator=(const FileDatesWriter&) = delete;

    // The entry of the summary line of `digits` and `path`.
    void add(const char (&digits)[32], const std::u16string& path, const std::optional<FileAsRead>& asRead);
    // Puts the record in place in one step; false (the old one left as it
    // was) when it could not be written. Put in place, but its folder not
    // flushed, is true: the summary beside it says so.
    bool commit();
    // Removes the record itself (beside a rewrite nobody needs).
    void remove() { file_->Delete(); }
    const std::u16string& path() const { return file_->path(); }

private:
    bool flush();

    std::unique_ptr<TesselLibrary::TesselFile> file_;
    std::string pending_;
    LinesFingerprint fingerprint_;
    std::uint64_t entries_ = 0;
    bool failed_ = false;
};

class FileDatesReader {
public:
    explicit FileDatesReader(std::unique_ptr<TesselLibrary::TesselFile> file) : file_(std::move(file)) {}

    // Reads the record once to its end, piece by piece, and keeps it when
    // it is whole and tied to a summary of `entries` entries of this
    // fingerprint; then next() gives its entries from the first.
    bool tie(std::uint64_t entries, std::uint64_t fingerprint);
    bool tied() const { return tied_; }
    // The next entry's record, in the summary's order; nothing when there
    // is no record (or it could no longer be read).
    std::optional<FileAsRead> next();
    // Back to the first entry.
    bool restart();
    // Lets go of the file (so that it can be renamed).
    void close() { file_->Close(); }
    TesselLibrary::TesselFile& file() { return *file_; }

private:
    // The record is read a piece at a time: the piece read last, and where
    // the next entry lies in it.
    struct Piece {
        std::vector<std::uint8_t> bytes;
        std::size_t at = 0;    // the next entry's first byte
        std::size_t held = 0;  // the bytes the last read gave
    };

    std::unique_ptr<TesselLibrary::TesselFile> file_;
    Piece piece_;
    std::uint64_t given_ = 0;
    std::uint64_t entries_ = 0;
    bool tied_ = false;
};
