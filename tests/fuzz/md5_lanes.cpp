// Md5Lanes against OpenSSL's one-stream MD5 on message sets, piece sizes and
// orders of feeding, ending and collecting that the fuzzer chooses: every
// digest must be OpenSSL's. Each piece is given in a buffer of its own that
// is freed as soon as the lane asks for more, so a lane that read bytes it
// had given back is caught by the address sanitizer.
#include <openssl/evp.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "md5_lanes.h"

using TesselLibrary::Md5Engine;
using TesselLibrary::Md5Lanes;

namespace {

// The fuzzer's choices, one byte at a time; 0 once they run out, which
// feeds whole messages and collects at once, so every run comes to an end.
class Tape {
public:
    Tape(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    unsigned Byte() { return at_ < size_ ? data_[at_++] : 0; }
    unsigned Word() { return Byte() << 8 | Byte(); }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

std::vector<Md5Engine> LaneEngines() {
    std::vector<Md5Engine> engines;
    for (Md5Engine engine : {Md5Engine::Avx2, Md5Engine::Avx2x16, Md5Engine::Avx512})
        if (TesselLibrary::Md5EngineRuns(engine)) engines.push_back(engine);
    return engines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::vector<Md5Engine> engines = LaneEngines();
    if (engines.empty()) return 0;
    Tape tape(data, size);
    Md5Lanes lanes(engines[tape.Byte() % engines.size()]);
    const unsigned width = lanes.width();

    // Messages: a length each (a few large ones), contents from a seed.
    std::vector<std::vector<std::uint8_t>> messages(1 + tape.Byte() % 40);
    for (auto& message : messages) {
        const unsigned length = tape.Word();
        message.resize(length & 0x8000 ? (length & 0x03FF) * 257 : length & 0x0FFF);
        std::uint32_t x = 0x9e3779b9u ^ tape.Byte();
        for (auto& byte : message) {
            x ^= x << 13, x ^= x >> 17, x ^= x << 5;
            byte = static_cast<std::uint8_t>(x);
        }
    }

    std::vector<unsigned> owner(width);
    std::vector<std::size_t> offset(width);
    std::vector<std::unique_ptr<std::uint8_t[]>> piece(width);
    std::size_t started = 0, done = 0;
    auto start = [&](unsigned lane) {
        if (!lanes.Start(lane)) std::abort();
        owner[lane] = static_cast<unsigned>(started++);
        offset[lane] = 0;
    };
    for (unsigned lane = 0; lane < width && started < messages.size(); ++lane) start(lane);
    while (done < messages.size()) {
        for (unsigned lane = 0; lane < width; ++lane) {
            if (!lanes.NeedsInput(lane)) continue;
            piece[lane].reset();
            const unsigned choice = tape.Byte();
            if (choice & 0x80) continue;  // left starved for this round
            const auto& message = messages[owner[lane]];
            const std::size_t left = message.size() - offset[lane];
            if (left == 0) {
                if (!lanes.End(lane)) std::abort();
                continue;
            }
            const unsigned wanted = tape.Word();
            const std::size_t length = wanted == 0 ? left : std::min<std::size_t>(left, wanted % 700 + 1);
            piece[lane] = std::make_unique<std::uint8_t[]>(length);
            std::memcpy(piece[lane].get(), message.data() + offset[lane], length);
            if (!lanes.Feed(lane, piece[lane].get(), length)) std::abort();
            offset[lane] += length;
            if (offset[lane] == message.size() && !(choice & 0x40) && !lanes.End(lane)) std::abort();
        }
        lanes.Run();
        for (unsigned lane = 0; lane < width; ++lane) {
            if (!lanes.Busy(lane) || (tape.Byte() & 0x80)) continue;  // a digest left for later
            std::uint8_t digest[16];
            if (!lanes.Finished(lane, digest)) continue;
            const auto& message = messages[owner[lane]];
            std::uint8_t expected[16];
            unsigned length = 0;
            if (EVP_Digest(message.data(), message.size(), expected, &length, EVP_md5(), nullptr) != 1) std::abort();
            if (std::memcmp(digest, expected, 16) != 0) std::abort();
            ++done;
            if (started < messages.size()) start(lane);
        }
    }
    for (unsigned lane = 0; lane < width; ++lane)
        if (lanes.Busy(lane)) std::abort();
    return 0;
}
