// The bar and status line of a folder job. The bar goes through a few fixed
// steps before the first file, then from 20 towards 100 with the share of
// the files done (and within a large file, with its bytes read); it never
// moves back, and each update is sent only when
// it moves, since every update waits for the display. The status line is
// sent only when its text changes.
#pragma once

#include <cstdint>
#include <string>

#include "tessel_progress.h"

class JobBar {
public:
    enum class Step : std::uint32_t {
        Nothing = 0,       // a build, before anything is done
        Begun = 5,         // the job has started its work
        SummaryRead = 10,  // a verification has read its summary through once
        Ready = 15,        // the files come next
    };

    explicit JobBar(TesselLibrary::TesselProgress& progress) : progress_(progress) {}

    void step(Step step) { moveTo(static_cast<std::uint32_t>(step)); }
    // `done` of `total` files done: the bar stands at the file being worked
    // on, so it never reaches 100. Nothing when there are no files.
    void files(std::uint64_t done, std::uint64_t total);
    // The same while the file being worked on is `within` (0 to 1) read.
    void files(std::uint64_t done, std::uint64_t total, double within);
    // The share done of work whose size is estimated, 0 to 1.
    void share(double done);
    void status(const std::u16string& text);

private:
    void moveTo(std::uint32_t position);

    TesselLibrary::TesselProgress& progress_;
    bool shownAny_ = false;
    std::uint32_t shown_ = 0;
    bool statusShown_ = false;
    std::u16string status_;
};
