// The choice of MD5 engine: what the processor runs (CPUID, through the
// compiler's processor checks, which also ask whether the system saves the
// wide registers), and what SUMVANE_MD5 forces.
#include "md5_engine.h"

#include <cctype>
#include <cstdlib>
#include <initializer_list>

#include "platform.h"

namespace TesselLibrary {

namespace {

bool SameWordIgnoringCase(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b) {
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) return false;
    }
    return *a == *b;
}

Md5Engine EngineFromEnvironment() {
    const char* forced = std::getenv("SUMVANE_MD5");
    if (forced) {
        if (SameWordIgnoringCase(forced, "onestream")) return Md5Engine::OneStream;
        for (Md5Engine engine : {Md5Engine::OneStream, Md5Engine::Avx2, Md5Engine::Avx512, Md5Engine::Avx2x16}) {
            if (!SameWordIgnoringCase(forced, Md5EngineName(engine))) continue;
            return Md5EngineRuns(engine) ? engine : BestLaneEngine();
        }
    }
    return BestLaneEngine();
}

}  // namespace

// Sixteen lanes in two AVX2 registers beat eight in one: a step of MD5
// waits for the step before, and the second register's steps fill those waits
// (measured by bench/md5_lanes_rate: about 1.5 times the rate of eight lanes).
Md5Engine BestLaneEngine() {
    if (Md5EngineRuns(Md5Engine::Avx512)) return Md5Engine::Avx512;
    if (Md5EngineRuns(Md5Engine::Avx2x16)) return Md5Engine::Avx2x16;
    return Md5Engine::OneStream;
}

bool Md5EngineRuns(Md5Engine engine) {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();  // in case this runs before the constructors that would do it
    switch (engine) {
        case Md5Engine::OneStream: return true;
        case Md5Engine::Avx2:
        case Md5Engine::Avx2x16: return __builtin_cpu_supports("avx2");
        case Md5Engine::Avx512: return __builtin_cpu_supports("avx512f");
    }
    return false;
#else
    return engine == Md5Engine::OneStream;
#endif
}

const char* Md5EngineName(Md5Engine engine) {
    switch (engine) {
        case Md5Engine::OneStream: break;
        case Md5Engine::Avx2: return "avx2";
        case Md5Engine::Avx512: return "avx512";
        case Md5Engine::Avx2x16: return "avx2x16";
    }
    return kOneStreamMd5Name;
}

Md5Engine ChosenMd5Engine() {
    static const Md5Engine chosen = EngineFromEnvironment();
    return chosen;
}

}  // namespace TesselLibrary
