// Md5Lanes on Windows: no lane engine. The Windows build hashes each file
// with a hash object of the system's cryptographic service (md5.cpp), so
// every choice is OneStream and no lane can be started.
#include "md5_lanes.h"

namespace TesselLibrary {

struct Md5LanesData {};

Md5Engine ChosenMd5Engine() { return Md5Engine::OneStream; }

bool Md5EngineRuns(Md5Engine engine) { return engine == Md5Engine::OneStream; }

const char* Md5EngineName(Md5Engine engine) {
    switch (engine) {
    case Md5Engine::Avx2: return "avx2";
    case Md5Engine::Avx512: return "avx512";
    case Md5Engine::Avx2x16: return "avx2x16";
    case Md5Engine::OneStream: break;
    }
    return "openssl";
}

Md5Lanes::Md5Lanes(Md5Engine) : data_(std::make_unique<Md5LanesData>()) {}
Md5Lanes::~Md5Lanes() = default;
Md5Engine Md5Lanes::engine() const { return Md5Engine::OneStream; }
unsigned Md5Lanes::width() const { return 0; }
bool Md5Lanes::Start(unsigned) { return false; }
bool Md5Lanes::Feed(unsigned, const std::uint8_t*, std::size_t) { return false; }
bool Md5Lanes::End(unsigned) { return false; }
void Md5Lanes::Run() {}
bool Md5Lanes::NeedsInput(unsigned) const { return false; }
bool Md5Lanes::Finished(unsigned, std::uint8_t (&)[16]) { return false; }
bool Md5Lanes::Busy(unsigned) const { return false; }

}  // namespace TesselLibrary
