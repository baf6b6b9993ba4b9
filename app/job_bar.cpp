#include "job_bar.h"

#include <algorithm>

void JobBar::files(std::uint64_t done, std::uint64_t total) {
    if (total == 0) return;
    moveTo(static_cast<std::uint32_t>(20 + 80 * std::min(done, total - 1) / total));
}

void JobBar::files(std::uint64_t done, std::uint64_t total, double within) {
    if (total == 0) return;
    const double at = static_cast<double>(std::min(done, total - 1)) + std::clamp(within, 0.0, 1.0);
    moveTo(static_cast<std::uint32_t>(20 + 80 * at / static_cast<double>(total)));
}

void JobBar::share(double done) { moveTo(static_cast<std::uint32_t>(20 + 80 * done)); }

void JobBar::status(const std::u16string& text) {
    if (statusShown_ && text == status_) return;
    progress_.SetStatus(text.c_str());
    status_ = text;
    statusShown_ = true;
}

void JobBar::moveTo(std::uint32_t position) {
    if (shownAny_ && position <= shown_) return;
    progress_.SetPosition(position);
    shown_ = position;
    shownAny_ = true;
}
