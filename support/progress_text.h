// The text of the progress display on a terminal, apart from drawing it:
// three lines (the title, the bar with the counts, the status) made from
// what the job has said so far and the width of the terminal.
#pragma once

#include <array>
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
    double seconds = 0;  // since the counts came first: the rate and the time left
};

// The lines as a terminal shows them: each one printable (control
// characters as "?", unpaired surrogates as U+FFFD) and at most `columns` - 1
// code points long, as a line that fills the last column makes some
// terminals wrap, which would put the cursor movement off.
std::array<std::u16string, 3> ProgressLines(const ProgressState& state, unsigned columns);

}  // namespace TesselLibrary
