// Where a check in slices stopped, kept in a small file beside the summary
// ("Sumvane.md5.place") from one run to the next. It is tied to the summary
// it belongs to by the number of its entries and a fingerprint of them, so a
// rebuilt or edited summary is checked again from its first entry. The file
// is plain text, for a person to read; it is replaced in one step, as a
// summary is, so a run killed while writing it leaves the one before.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "folder.h"
#include "local_time.h"
#include "tessel_file.h"

struct SlicePlace {
    std::uint64_t entries = 0;      // of the summary
    std::uint64_t fingerprint = 0;  // of its entries
    std::uint64_t next = 0;         // the entry to check next, from 0
    std::optional<TesselLibrary::TesselDateTime> lastFullRound;
    bool operator==(const SlicePlace&) const = default;
};

// The file's text, and its reading; nothing when the text is not one this
// program wrote (the place is then the first entry).
std::string formatSlicePlace(const SlicePlace& place);
std::optional<SlicePlace> parseSlicePlace(const std::string& text);

class SlicePlaceFile {
public:
    // Beside the summary in `folder`; by the summary's path when the folder
    // could not be opened.
    SlicePlaceFile(const std::shared_ptr<const TesselLibrary::Folder>& folder, const std::u16string& summaryName,
                   const std::u16string& summaryPath);

    std::optional<SlicePlace> load();
    // False when it could not be written; the file before stays as it was.
    bool save(const SlicePlace& place);
    const std::u16string& path() const { return file_->path(); }

private:
    std::unique_ptr<TesselLibrary::TesselFile> file_;
};
