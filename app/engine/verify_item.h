// One item of a check on its way through the line: an entry of the summary,
// or (when the check also looks for new files) a file or folder of the walk.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "digest_result.h"

struct VerifyItem {
    enum class Kind {
        Listed,            // an entry of the summary
        New,               // a file of the walk that the summary does not list
        UnreadableFolder,  // a folder the walk could not open or list whole
        UnwritableName,    // a file of the walk whose name a summary line cannot hold
    } kind = Kind::Listed;
    char stored[32] = {};                // Listed: the digits the summary records
    std::u16string name;                 // as the log and the rewrite name it
    std::vector<std::u16string> others;  // Listed: the other readings of its bytes, tried in turn
    std::uint64_t line = 0;              // Listed: its line in the summary, from 1 (0: not known)
    // Listed: its file's size and date as read for the summary, from the
    // record beside it; nothing when there is no record that fits.
    std::optional<FileAsRead> asRead;
};

// The date the entry's file had when it was read for the summary; nothing
// when the summary has no record of it.
inline std::optional<TesselLibrary::FileTime> recordedDate(const VerifyItem& item) {
    if (!item.asRead) return std::nullopt;
    return item.asRead->modified;
}
