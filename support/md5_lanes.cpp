// Md5Lanes, the same on every system: the bookkeeping of each lane (its
// bytes, the partial block it carries, its final padding); the compression
// itself is in md5_lanes_kernels.cpp, the choice of engine in md5_engine.cpp.
#include "md5_lanes.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "md5_lanes_kernels.h"

namespace TesselLibrary {

namespace {

unsigned WidthOf(Md5Engine engine) {
    switch (engine) {
        case Md5Engine::Avx2: return 8;
        case Md5Engine::Avx512:
        case Md5Engine::Avx2x16: return 16;
        case Md5Engine::OneStream: break;
    }
    return 0;
}

Md5LaneKernel KernelOf(Md5Engine engine) {
#if defined(__x86_64__) || defined(__i386__)
    switch (engine) {
        case Md5Engine::Avx2: return Md5Compress8Avx2;
        case Md5Engine::Avx512: return Md5Compress16Avx512;
        case Md5Engine::Avx2x16: return Md5Compress16Avx2;
        case Md5Engine::OneStream: break;
    }
#else
    (void)engine;
#endif
    return nullptr;
}

// What lanes read while they wait: their results are thrown away.
alignas(64) const std::uint8_t kIdleBlock[64] = {};

constexpr std::uint32_t kInitialState[4] = {0x67452301u, 0xefcdab89u, 0x98badcfeu, 0x10325476u};

enum class Phase : std::uint8_t { Idle, Busy, Done };

struct Lane {
    Phase phase = Phase::Idle;
    bool ended = false;
    bool padded = false;  // the final blocks are in `carry`
    // The caller's bytes not taken yet.
    const std::uint8_t* next = nullptr;
    std::size_t left = 0;
    // The blocks being compressed: in the caller's buffer or in `carry`.
    const std::uint8_t* source = nullptr;
    std::size_t sourceBlocks = 0;
    std::uint64_t total = 0;  // bytes fed
    unsigned carried = 0;     // bytes of an incomplete block in `carry`
    alignas(64) std::uint8_t carry[128];
};

}  // namespace

struct Md5LanesData {
    Md5Engine engine = Md5Engine::OneStream;
    unsigned width = 0;
    Md5LaneKernel kernel = nullptr;
    alignas(64) Md5LaneState state = {};
    Lane lanes[16];

    // Makes the lane's next blocks ready and returns how many there are; 0
    // when it waits for bytes, or has just finished (phase Done).
    std::size_t Prepare(unsigned index);
};

std::size_t Md5LanesData::Prepare(unsigned index) {
    Lane& lane = lanes[index];
    if (lane.sourceBlocks > 0) return lane.sourceBlocks;
    if (lane.padded) {
        lane.phase = Phase::Done;
        return 0;
    }
    if (lane.carried == 0 && lane.left >= 64) {
        lane.source = lane.next;
        lane.sourceBlocks = lane.left / 64;
        lane.next += lane.sourceBlocks * 64;
        lane.left -= lane.sourceBlocks * 64;
        return lane.sourceBlocks;
    }
    // Less than a block at hand: gather it in `carry`, so that the caller's
    // buffer is free once the lane asks for more.
    const std::size_t take = std::min<std::size_t>(64 - lane.carried, lane.left);
    if (take > 0) {  // with nothing at hand `next` may be null
        std::memcpy(lane.carry + lane.carried, lane.next, take);
        lane.carried += static_cast<unsigned>(take);
        lane.next += take;
        lane.left -= take;
    }
    if (lane.carried == 64) {
        lane.carried = 0;
        lane.source = lane.carry;
        lane.sourceBlocks = 1;
        return 1;
    }
    if (!lane.ended) return 0;
    // RFC 1321 3.1 and 3.2: a 1 bit, zeros up to 56 bytes modulo 64, then
    // the length in bits, low byte first.
    const unsigned used = lane.carried;
    const unsigned blocks = used < 56 ? 1 : 2;
    lane.carry[used] = 0x80;
    std::memset(lane.carry + used + 1, 0, blocks * 64 - 8 - used - 1);
    std::uint64_t bits = lane.total * 8;
    for (unsigned k = 0; k < 8; ++k, bits >>= 8) lane.carry[blocks * 64 - 8 + k] = static_cast<std::uint8_t>(bits);
    lane.carried = 0;
    lane.padded = true;
    lane.source = lane.carry;
    lane.sourceBlocks = blocks;
    return blocks;
}

Md5Lanes::Md5Lanes(Md5Engine engine) : data_(std::make_unique<Md5LanesData>()) {
    if (engine == Md5Engine::OneStream || !Md5EngineRuns(engine)) engine = BestLaneEngine();
    data_->kernel = KernelOf(engine);
    if (!data_->kernel) return;
    data_->engine = engine;
    data_->width = WidthOf(engine);
}

Md5Lanes::~Md5Lanes() = default;

Md5Engine Md5Lanes::engine() const { return data_->engine; }

unsigned Md5Lanes::width() const { return data_->width; }

bool Md5Lanes::Start(unsigned index) {
    if (index >= data_->width || data_->lanes[index].phase != Phase::Idle) return false;
    data_->lanes[index] = Lane{};
    data_->lanes[index].phase = Phase::Busy;
    for (unsigned word = 0; word < 4; ++word) data_->state[word][index] = kInitialState[word];
    return true;
}

bool Md5Lanes::Feed(unsigned index, const std::uint8_t* bytes, std::size_t length) {
    if (!NeedsInput(index)) return false;
    Lane& lane = data_->lanes[index];
    lane.next = bytes;
    lane.left = length;
    lane.total += length;
    return true;
}

bool Md5Lanes::End(unsigned index) {
    if (index >= data_->width) return false;
    Lane& lane = data_->lanes[index];
    if (lane.phase != Phase::Busy || lane.ended) return false;
    lane.ended = true;
    return true;
}

bool Md5Lanes::NeedsInput(unsigned index) const {
    if (index >= data_->width) return false;
    const Lane& lane = data_->lanes[index];
    return lane.phase == Phase::Busy && !lane.ended && lane.left == 0 &&
           (lane.sourceBlocks == 0 || lane.source == lane.carry);
}

bool Md5Lanes::Busy(unsigned index) const { return index < data_->width && data_->lanes[index].phase != Phase::Idle; }

void Md5Lanes::Run() {
    Md5LanesData& d = *data_;
    const std::uint8_t* from[16];
    std::size_t stride[16];
    std::uint32_t active = 0;
    std::size_t blocks = SIZE_MAX;
    for (unsigned l = 0; l < d.width; ++l) {
        from[l] = kIdleBlock;
        stride[l] = 0;
        if (d.lanes[l].phase != Phase::Busy) continue;
        const std::size_t ready = d.Prepare(l);
        if (ready == 0) continue;
        active |= 1u << l;
        blocks = std::min(blocks, ready);
    }
    while (active != 0) {
        for (unsigned l = 0; l < d.width; ++l) {
            if (!(active >> l & 1u)) continue;
            from[l] = d.lanes[l].source;
            stride[l] = 64;
        }
        d.kernel(d.state, from, stride, blocks, active);
        bool stop = false;
        std::size_t nextBlocks = SIZE_MAX;
        for (unsigned l = 0; l < d.width; ++l) {
            if (!(active >> l & 1u)) continue;
            Lane& lane = d.lanes[l];
            lane.source += blocks * 64;
            lane.sourceBlocks -= blocks;
            const std::size_t ready = d.Prepare(l);
            if (ready == 0) {
                stop = true;
                active &= ~(1u << l);
                from[l] = kIdleBlock;
                stride[l] = 0;
                continue;
            }
            nextBlocks = std::min(nextBlocks, ready);
        }
        if (stop) return;
        blocks = nextBlocks;
    }
}

bool Md5Lanes::Finished(unsigned index, std::uint8_t (&digest)[16]) {
    if (index >= data_->width || data_->lanes[index].phase != Phase::Done) return false;
    for (unsigned word = 0; word < 4; ++word) {
        const std::uint32_t value = data_->state[word][index];
        for (unsigned k = 0; k < 4; ++k) digest[4 * word + k] = static_cast<std::uint8_t>(value >> (8 * k));
    }
    data_->lanes[index].phase = Phase::Idle;
    return true;
}

}  // namespace TesselLibrary
