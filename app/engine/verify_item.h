// One item of a check on its way through the line: an entry of the summary,
// or (when the check also looks for new files) a file or folder of the walk.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct VerifyItem {
    enum class Kind {
        Listed,            // an entry of the summary
        New,               // a file of the walk that the summary does not list
        UnreadableFolder,  // a folder the walk could not open or list whole
        UnwritableName,    // a file of the walk whose name a summary line cannot hold
    } kind = Kind::Listed;
    char stored[32] = {};  // Listed: the digits the summary records
    std::u16string name;   // as the log and the rewrite name it
    std::vector<std::u16string> others;  // Listed: the other readings of its bytes, tried in turn
    std::uint64_t line = 0;  // Listed: its line in the summary, from 1 (0: not known)
};
