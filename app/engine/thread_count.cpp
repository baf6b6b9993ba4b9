#include "thread_count.h"

#include <string>

#include "processors.h"
#include "environment.h"

namespace {

// More threads than this only add contention.
constexpr unsigned kMostThreads = 256;

}  // namespace

unsigned hashingThreads(unsigned most) {
    const std::u16string asked = TesselLibrary::EnvironmentValue(u"SUMVANE_THREADS");
    unsigned value = 0;
    bool number = !asked.empty() && asked.size() <= 3;
    for (const char16_t c : asked) {
        if (c < u'0' || c > u'9')
            number = false;
        else
            value = value * 10 + static_cast<unsigned>(c - u'0');
    }
    unsigned threads = number && value >= 1 ? value : TesselLibrary::UsableProcessors();
    if (threads < 1) threads = 1;
    if (threads > kMostThreads) threads = kMostThreads;
    if (most >= 1 && threads > most) threads = most;
    return threads;
}
