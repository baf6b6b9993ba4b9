// Md5Lanes against OpenSSL's one-stream MD5, for every lane engine this
// processor runs: every length to 300 bytes, random lengths to 4 MiB, bytes
// fed in pieces, lanes finishing in every order, lanes restarted while the
// others are mid-message, starved and idle lanes; and the choice of engine.
#ifndef _WIN32

#include "md5_lanes.h"
#include "rfc1321_suite.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <numeric>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace TesselLibrary {
// Test names and failures show the engine by name.
void PrintTo(Md5Engine engine, std::ostream* out) { *out << Md5EngineName(engine); }
}  // namespace TesselLibrary

namespace {

using TesselLibrary::Md5Engine;
using TesselLibrary::Md5EngineName;
using TesselLibrary::Md5EngineRuns;
using TesselLibrary::Md5Lanes;
using Bytes = std::vector<std::uint8_t>;
using Digest = std::array<std::uint8_t, 16>;

Digest OpenSslMd5(const Bytes& message) {
    Digest digest{};
    unsigned length = 0;
    EXPECT_EQ(EVP_Digest(message.data(), message.size(), digest.data(), &length, EVP_md5(), nullptr), 1);
    return digest;
}

std::string Hex(const Digest& digest) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (std::uint8_t byte : digest) text += {kDigits[byte >> 4], kDigits[byte & 15]};
    return text;
}

Bytes RandomBytes(std::mt19937& random, std::size_t length) {
    Bytes bytes(length);
    for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
    return bytes;
}

// How the driver hands bytes to the lanes.
struct Schedule {
    std::size_t maxPiece;  // each Feed gives 1 to maxPiece bytes (0: the whole message at once)
    bool endWithLastFeed;  // End right after the last Feed, or only once the lane asks for more
    bool starve;           // now and then leave a lane that needs bytes without them for a Run
    bool collectLate;      // now and then leave a finished lane's digest for a later Run
};

// Hashes the messages in the lanes, each idle lane taking the next message.
// Every piece is copied into the lane's own buffer and that buffer is
// overwritten as soon as the lane asks for more, so a lane that read the
// caller's bytes after it had given them back would come out wrong.
std::vector<Digest> HashInLanes(Md5Lanes& lanes, const std::vector<Bytes>& messages, const Schedule& schedule,
                                std::uint32_t seed, std::vector<std::size_t>* finishOrder = nullptr) {
    std::mt19937 random(seed);
    const unsigned width = lanes.width();
    std::vector<Digest> digests(messages.size());
    std::vector<std::size_t> owner(width), offset(width);
    std::vector<Bytes> buffer(width);
    std::size_t started = 0, done = 0;
    auto start = [&](unsigned lane) {
        EXPECT_TRUE(lanes.Start(lane));
        owner[lane] = started++;
        offset[lane] = 0;
    };
    for (unsigned lane = 0; lane < width && started < messages.size(); ++lane) start(lane);
    std::size_t runs = 0;
    while (done < messages.size()) {
        for (unsigned lane = 0; lane < width; ++lane) {
            if (!lanes.NeedsInput(lane)) continue;
            std::fill(buffer[lane].begin(), buffer[lane].end(), 0xA5);
            if (schedule.starve && random() % 4 == 0) continue;
            const Bytes& message = messages[owner[lane]];
            const std::size_t left = message.size() - offset[lane];
            if (left == 0) {
                EXPECT_TRUE(lanes.End(lane));
                continue;
            }
            const std::size_t piece =
                schedule.maxPiece == 0 ? left : std::min<std::size_t>(left, 1 + random() % schedule.maxPiece);
            buffer[lane].assign(message.begin() + offset[lane], message.begin() + offset[lane] + piece);
            EXPECT_TRUE(lanes.Feed(lane, buffer[lane].data(), piece));
            offset[lane] += piece;
            if (offset[lane] == message.size() && schedule.endWithLastFeed) {
                EXPECT_TRUE(lanes.End(lane));
            }
        }
        lanes.Run();
        ++runs;
        for (unsigned lane = 0; lane < width; ++lane) {
            if (schedule.collectLate && random() % 3 == 0) continue;
            std::uint8_t digest[16];
            if (!lanes.Finished(lane, digest)) continue;
            std::memcpy(digests[owner[lane]].data(), digest, 16);
            if (finishOrder) finishOrder->push_back(owner[lane]);
            ++done;
            if (started < messages.size()) start(lane);
        }
        if (runs > 100000000) {
            ADD_FAILURE() << "the lanes never finished";
            break;
        }
    }
    for (unsigned lane = 0; lane < width; ++lane) EXPECT_FALSE(lanes.Busy(lane)) << "lane " << lane;
    return digests;
}

void ExpectOpenSslDigests(const std::vector<Bytes>& messages, const std::vector<Digest>& digests,
                          const std::string& what) {
    ASSERT_EQ(digests.size(), messages.size());
    for (std::size_t i = 0; i < messages.size(); ++i)
        ASSERT_EQ(Hex(digests[i]), Hex(OpenSslMd5(messages[i])))
            << what << ": message " << i << " of " << messages[i].size() << " bytes";
}

class Md5LanesTest : public ::testing::TestWithParam<Md5Engine> {
protected:
    void SetUp() override {
        if (!Md5EngineRuns(GetParam()))
            GTEST_SKIP() << "this processor cannot run the " << Md5EngineName(GetParam()) << " engine";
    }
};

INSTANTIATE_TEST_SUITE_P(Engines, Md5LanesTest, ::testing::Values(Md5Engine::Avx2, Md5Engine::Avx2x16, Md5Engine::Avx512),
                         [](const auto& info) { return std::string(Md5EngineName(info.param)); });

TEST_P(Md5LanesTest, TheEngineAndItsWidth) {
    Md5Lanes lanes(GetParam());
    EXPECT_EQ(lanes.engine(), GetParam());
    EXPECT_EQ(lanes.width(), GetParam() == Md5Engine::Avx2 ? 8u : 16u);
}

TEST_P(Md5LanesTest, Rfc1321TestSuiteInEveryLane) {
    const auto& suite = rfc1321::kSuite;
    Md5Lanes lanes(GetParam());
    // Shifted through the lanes, so each vector is hashed in every lane.
    for (unsigned shift = 0; shift < lanes.width(); ++shift) {
        std::vector<Bytes> messages(shift);
        for (const rfc1321::Case& c : suite) messages.emplace_back(c.message, c.message + std::strlen(c.message));
        const std::vector<Digest> digests = HashInLanes(lanes, messages, {0, true, false, false}, shift);
        for (std::size_t i = 0; i < std::size(suite); ++i)
            EXPECT_EQ(Hex(digests[shift + i]), suite[i].digest) << '"' << suite[i].message << "\" after " << shift;
    }
}

struct Workload {
    const char* name;
    std::function<std::vector<std::size_t>(std::mt19937&, unsigned width)> lengths;
    Schedule schedule;
};

std::vector<std::size_t> EveryLengthTo300(std::mt19937&, unsigned) {
    std::vector<std::size_t> lengths(301);
    std::iota(lengths.begin(), lengths.end(), 0);
    return lengths;
}

const Workload kWorkloads[] = {
    {"every length 0 to 300, whole", EveryLengthTo300, {0, true, false, false}},
    {"every length 0 to 300, in pieces of 1 to 7 bytes", EveryLengthTo300, {7, false, false, false}},
    {"every length 0 to 300, in pieces of 1 to 130 bytes, ended on the last", EveryLengthTo300, {130, true, false, false}},
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

TEST_P(Md5LanesTest, DigestsEqualOpenSsl) {
    Md5Lanes lanes(GetParam());
    std::uint32_t seed = 20;
    for (const Workload& workload : kWorkloads) {
        std::mt19937 random(++seed);
        std::vector<Bytes> messages;
        for (std::size_t length : workload.lengths(random, lanes.width()))
            messages.push_back(RandomBytes(random, length));
        ExpectOpenSslDigests(messages, HashInLanes(lanes, messages, workload.schedule, seed), workload.name);
    }
}

// One message per lane, of lengths that end in different blocks, given to
// the lanes in every order (for 16 lanes: many orders, at random); each is
// fed whole, so the shorter ones finish first, one at each return of Run.
TEST_P(Md5LanesTest, LanesFinishInEveryOrder) {
    Md5Lanes lanes(GetParam());
    const unsigned width = lanes.width();
    std::mt19937 random(7);
    std::vector<Bytes> byLength;
    // Message k ends in block k + 1, its padding included.
    for (unsigned k = 0; k < width; ++k) byLength.push_back(RandomBytes(random, 64 * k + (k * 37) % 56));
    std::vector<Digest> expected;
    for (const Bytes& message : byLength) expected.push_back(OpenSslMd5(message));

    std::vector<unsigned> order(width);  // lane -> message
    std::iota(order.begin(), order.end(), 0);
    std::size_t tried = 0;
    for (bool more = true; more; ++tried) {
        for (unsigned lane = 0; lane < width; ++lane) {
            lanes.Start(lane);
            lanes.Feed(lane, byLength[order[lane]].data(), byLength[order[lane]].size());
            lanes.End(lane);
        }
        unsigned finished = 0;
        for (unsigned runs = 0; finished < width && runs <= width; ++runs) {
            lanes.Run();
            for (unsigned lane = 0; lane < width; ++lane) {
                std::uint8_t raw[16];
                if (!lanes.Finished(lane, raw)) continue;
                Digest digest;
                std::copy(std::begin(raw), std::end(raw), digest.begin());
                if (digest != expected[order[lane]] || order[lane] != finished)
                    FAIL() << "order " << tried << ": lane " << lane << " finished as number " << finished
                           << " with " << Hex(digest) << ", message " << order[lane] << " is "
                           << Hex(expected[order[lane]]);
                ++finished;
            }
        }
        ASSERT_EQ(finished, width) << "order " << tried << ": not every lane finished, one at each Run";
        if (width <= 8) {
            more = std::next_permutation(order.begin(), order.end());
        } else {
            std::shuffle(order.begin(), order.end(), random);
            more = tried < 20000;
        }
    }
    EXPECT_GE(tried, width <= 8 ? 40320u : 20000u);
}

TEST_P(Md5LanesTest, CallsThatDoNotFitTheLaneChangeNothing) {
    Md5Lanes lanes(GetParam());
    const unsigned width = lanes.width();
    const std::uint8_t abc[] = {'a', 'b', 'c'};
    std::uint8_t digest[16];
    EXPECT_FALSE(lanes.Start(width));
    EXPECT_FALSE(lanes.Feed(0, abc, 3)) << "an idle lane";
    EXPECT_FALSE(lanes.End(0)) << "an idle lane";
    EXPECT_FALSE(lanes.NeedsInput(0));
    lanes.Run();  // nothing busy: returns at once
    EXPECT_FALSE(lanes.Finished(0, digest));

    ASSERT_TRUE(lanes.Start(width - 1));
    EXPECT_FALSE(lanes.Start(width - 1)) << "a busy lane";
    EXPECT_TRUE(lanes.NeedsInput(width - 1));
    EXPECT_TRUE(lanes.Feed(width - 1, abc, 2));
    EXPECT_FALSE(lanes.NeedsInput(width - 1));
    EXPECT_FALSE(lanes.Feed(width - 1, abc, 1)) << "its bytes not taken yet";
    lanes.Run();
    EXPECT_TRUE(lanes.NeedsInput(width - 1));
    EXPECT_FALSE(lanes.Finished(width - 1, digest));
    EXPECT_TRUE(lanes.Feed(width - 1, abc + 2, 0));
    EXPECT_TRUE(lanes.Feed(width - 1, abc + 2, 1));
    EXPECT_TRUE(lanes.End(width - 1));
    EXPECT_FALSE(lanes.End(width - 1)) << "ended already";
    EXPECT_FALSE(lanes.NeedsInput(width - 1));
    lanes.Run();
    ASSERT_TRUE(lanes.Finished(width - 1, digest));
    Digest got;
    std::copy(std::begin(digest), std::end(digest), got.begin());
    EXPECT_EQ(Hex(got), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_FALSE(lanes.Finished(width - 1, digest)) << "a digest is given once";
    EXPECT_FALSE(lanes.Busy(width - 1));
    for (unsigned lane = 0; lane + 1 < width; ++lane) EXPECT_FALSE(lanes.Busy(lane));
}

// The engine a process runs with, decided in a process of its own for each
// value of SUMVANE_MD5: the child hashes "abc" with it (it must not die of
// an instruction the processor lacks) and exits with the engine's number.
[[noreturn]] void ExitWithChosenEngine(const char* value) {
    if (value)
        setenv("SUMVANE_MD5", value, 1);
    else
        unsetenv("SUMVANE_MD5");
    const Md5Engine engine = TesselLibrary::ChosenMd5Engine();
    if (engine != Md5Engine::OneStream) {
        Md5Lanes lanes(engine);
        const std::uint8_t abc[] = {'a', 'b', 'c'};
        std::uint8_t digest[16];
        lanes.Start(0);
        lanes.Feed(0, abc, 3);
        lanes.End(0);
        lanes.Run();
        if (!lanes.Finished(0, digest) || digest[0] != 0x90 || digest[15] != 0x72) std::_Exit(100);
    }
    std::_Exit(static_cast<int>(engine));
}

TEST(Md5EngineChoiceTest, ForcedEnginesAndTheirFallback) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const Md5Engine best = Md5EngineRuns(Md5Engine::Avx512)    ? Md5Engine::Avx512
                           : Md5EngineRuns(Md5Engine::Avx2x16) ? Md5Engine::Avx2x16
                                                               : Md5Engine::OneStream;
    auto ifRuns = [&](Md5Engine engine) { return Md5EngineRuns(engine) ? engine : best; };
    const std::pair<const char*, Md5Engine> cases[] = {
        {nullptr, best},
        {"", best},
        {"bogus", best},
        {"openssl", Md5Engine::OneStream},
        {"OpenSSL", Md5Engine::OneStream},
        {"avx2", ifRuns(Md5Engine::Avx2)},
        {"AVX2", ifRuns(Md5Engine::Avx2)},
        {"avx2x16", ifRuns(Md5Engine::Avx2x16)},
        {"avx512", ifRuns(Md5Engine::Avx512)},
    };
    for (const auto& [value, expected] : cases)
        EXPECT_EXIT(ExitWithChosenEngine(value), ::testing::ExitedWithCode(static_cast<int>(expected)), "")
            << "SUMVANE_MD5=" << (value ? value : "(unset)") << " should give " << Md5EngineName(expected);
}

// An engine the processor lacks is never run: the lanes take the best one.
TEST(Md5EngineChoiceTest, LanesGiveWayToAnEngineThatRuns) {
    const Md5Engine best = Md5EngineRuns(Md5Engine::Avx512) ? Md5Engine::Avx512 : Md5Engine::Avx2x16;
    for (Md5Engine engine : {Md5Engine::OneStream, Md5Engine::Avx2, Md5Engine::Avx2x16, Md5Engine::Avx512}) {
        Md5Lanes lanes(engine);
        if (!Md5EngineRuns(Md5Engine::Avx2)) {
            EXPECT_EQ(lanes.width(), 0u) << "no lane engine runs here";
            EXPECT_FALSE(lanes.Start(0));
            continue;
        }
        EXPECT_EQ(lanes.engine(), engine != Md5Engine::OneStream && Md5EngineRuns(engine) ? engine : best)
            << Md5EngineName(engine);
    }
}

}  // namespace

#endif  // _WIN32
