// The message sets the MD5 lanes are proven on: every length to 300 bytes,
// random lengths to 4 MiB, lanes restarted while the others are mid-message,
// fewer messages than lanes; and how each set is fed. The same messages, for
// the same seed and lane width, on every system, so that digests computed
// elsewhere (tests/wine/openssl_digests.cpp) can be compared with them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <numeric>
#include <random>
#include <vector>

namespace md5_workloads {

using Bytes = std::vector<std::uint8_t>;

// How the driver hands bytes to the lanes.
struct Schedule {
    std::size_t maxPiece;  // each Feed gives 1 to maxPiece bytes (0: the whole message at once)
    bool endWithLastFeed;  // End right after the last Feed, or only once the lane asks for more
    bool starve;           // now and then leave a lane that needs bytes without them for a Run
    bool collectLate;      // now and then leave a finished lane's digest for a later Run
};

inline Bytes RandomBytes(std::mt19937& random, std::size_t length) {
    Bytes bytes(length);
    for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
    return bytes;
}

struct Workload {
    const char* name;
    std::function<std::vector<std::size_t>(std::mt19937&, unsigned width)> lengths;
    Schedule schedule;
};

inline std::vector<std::size_t> EveryLengthTo300(std::mt19937&, unsigned) {
    std::vector<std::size_t> lengths(301);
    std::iota(lengths.begin(), lengths.end(), 0);
    return lengths;
}

inline const Workload kWorkloads[] = {
    {"every length 0 to 300, whole", EveryLengthTo300, {0, true, false, false}},
    {"every length 0 to 300, in pieces of 1 to 7 bytes", EveryLengthTo300, {7, false, false, false}},
    {"every length 0 to 300, in pieces of 1 to 130 bytes, ended on the last",
     EveryLengthTo300,
     {130, true, false, false}},
    {"every length 0 to 300, lanes starved and collected late", EveryLengthTo300, {100, false, true, true}},
    {"random lengths to 4 MiB in pieces to 300 KiB",
     [](std::mt19937& random, unsigned width) {
         std::vector<std::size_t> lengths(width / 2 + 2);
         for (auto& length : lengths) length = random() % (std::size_t{4} << 20);
         return lengths;
     },
     {300 << 10, false, true, false}},
    {"one lane restarted 100 times while the others hash 1 MiB each",
     [](std::mt19937& random, unsigned width) {
         std::vector<std::size_t> lengths{random() % 200};
         lengths.insert(lengths.end(), width - 1, (1u << 20) + random() % 64);
         for (int i = 0; i < 99; ++i) lengths.push_back(random() % 700);
         return lengths;
     },
     {4096, false, false, false}},
    {"fewer messages than lanes, the others idle",
     [](std::mt19937& random, unsigned) {
         return std::vector<std::size_t>{100000 + random() % 1000, 64, 5000};
     },
     {1000, false, true, false}},
};

// The seed of workload k, and its messages for lanes of `width`.
inline std::uint32_t SeedOf(std::size_t k) { return static_cast<std::uint32_t>(21 + k); }
inline std::vector<Bytes> MessagesOf(std::size_t k, unsigned width) {
    std::mt19937 random(SeedOf(k));
    std::vector<Bytes> messages;
    for (std::size_t length : kWorkloads[k].lengths(random, width)) messages.push_back(RandomBytes(random, length));
    return messages;
}

}  // namespace md5_workloads
