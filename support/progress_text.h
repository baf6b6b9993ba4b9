// The text of the progress display on a terminal, apart from drawing it:
// three lines (the title, the bar with the counts, the status) made from
// what the job has said so far and the width of the terminal.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>

#include "tessel_progress.h"

namespace TesselLibrary {

// What the display shows at one moment.
struct ProgressState {
    std::u16string title;
    std::uint32_t position = 0;  // percent; more than 100 is shown as 100
    std::u16string status;
    std::optional<ProgressCounts> counts;  // none until the job sends them
    double seconds = 0;                    // since the counts came first: the rate and the time left
};

// The lines as a terminal shows them: each one printable (control
// characters as "?", unpaired surrogates as U+FFFD) and at most `columns` - 1
// code points long, as a line that fills the last column makes some
// terminals wrap, which would put the cursor movement off.
std::array<std::u16string, 3> ProgressLines(const ProgressState& state, unsigned columns);

// A path too long for its place, its middle left out so that its end stays:
// the path's first name with its separator (a drive and its backslash),
// "...", and as much of the end as fits, from a separator on when that
// still keeps the last two names (the file's name and its folder). `fits`
// says whether a text fits; a path that fits is kept whole.
std::u16string PathWithMiddleCut(const std::u16string& path, const std::function<bool(const std::u16string&)>& fits);

}  // namespace TesselLibrary
