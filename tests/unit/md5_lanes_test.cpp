// Md5Lanes against the system's one-stream MD5 (OpenSSL on Linux, CryptoAPI
// on Windows) and against OpenSSL, for every lane engine this processor
// runs: every length to 300 bytes, random lengths to 4 MiB, bytes fed in
// pieces, lanes finishing in every order, lanes restarted while the others
// are mid-message, starved and idle lanes; and the choice of engine. The
// Windows build has no OpenSSL: it reads OpenSSL's digests of the same
// messages from the file SUMVANE_OPENSSL_DIGESTS names, which the Linux
// build writes (tests/wine/openssl_digests.cpp, run by tests/wine/run-suite.sh).
#include "md5.h"
#include "platform.h"
#include "hashed_copies.h"
#include "md5_lanes.h"
#include "md5_lanes_workloads.h"
#include "rfc1321_suite.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <openssl/evp.h>
#endif

#include <algorithm>
#include <cctype>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <numeric>
#include <ostream>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace TesselLibrary {
// Test names and failures show the engine by name.
void PrintTo(Md5Engine engine, std::ostream* out) { *out << Md5EngineName(engine); }
}  // namespace TesselLibrary

namespace {

using md5_workloads::Bytes;
using md5_workloads::RandomBytes;
using md5_workloads::Schedule;
using md5_workloads::Workload;
using TesselLibrary::Md5Engine;
using TesselLibrary::Md5EngineName;
using TesselLibrary::Md5EngineRuns;
using TesselLibrary::Md5Lanes;
using Digest = std::array<std::uint8_t, 16>;

// The one-stream engine of the system this runs on.
Digest SystemMd5(const Bytes& message) {
    static const TesselLibrary::Md5Provider provider;
    TesselLibrary::Md5Hash hash(provider);
    EXPECT_TRUE(hash.ok());
    for (std::size_t done = 0; done < message.size();) {
        const std::size_t piece = std::min<std::size_t>(message.size() - done, 1u << 20);
        EXPECT_TRUE(hash.Update(message.data() + done, static_cast<std::uint32_t>(piece)));
        done += piece;
    }
    std::uint8_t value[16] = {};
    EXPECT_TRUE(hash.Final(value));
    Digest digest;
    std::copy(std::begin(value), std::end(value), digest.begin());
    return digest;
}

std::string Hex(const Digest& digest) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (std::uint8_t byte : digest) text += {kDigits[byte >> 4], kDigits[byte & 15]};
    return text;
}

// OpenSSL's digests of the workloads' messages, by lane width, workload and
// message: computed here on Linux, read from the Linux build's file on
// Windows.
class OpenSslDigests {
public:
    OpenSslDigests() {
#ifdef _WIN32
        const char* file = std::getenv("SUMVANE_OPENSSL_DIGESTS");
        if (!file || !*file) {
            why_ = "SUMVANE_OPENSSL_DIGESTS names no file of OpenSSL's digests (tests/wine/run-suite.sh makes one)";
            return;
        }
        std::ifstream in(file);
        unsigned width = 0;
        std::size_t k = 0, i = 0;
        std::string hex;
        while (in >> width >> k >> i >> hex) digests_[{width, k, i}] = hex;
        if (digests_.empty()) why_ = std::string("no digests in ") + file;
#endif
    }
    bool ok() const { return why_.empty(); }
    const std::string& why() const { return why_; }
    std::string Of(unsigned width, std::size_t k, std::size_t i) const {
#ifdef _WIN32
        const auto found = digests_.find({width, k, i});
        return found == digests_.end() ? "(not in the file)" : found->second;
#else
        const Bytes message = md5_workloads::MessagesOf(k, width).at(i);
        Digest digest{};
        unsigned length = 0;
        EXPECT_EQ(EVP_Digest(message.data(), message.size(), digest.data(), &length, EVP_md5(), nullptr), 1);
        return Hex(digest);
#endif
    }

private:
    std::string why_;
    std::map<std::tuple<unsigned, std::size_t, std::size_t>, std::string> digests_;
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

void ExpectDigests(const std::vector<Bytes>& messages, const std::vector<Digest>& digests, const std::string& what) {
    ASSERT_EQ(digests.size(), messages.size());
    for (std::size_t i = 0; i < messages.size(); ++i)
        ASSERT_EQ(Hex(digests[i]), Hex(SystemMd5(messages[i])))
            << what << ": message " << i << " of " << messages[i].size() << " bytes";
}

class Md5LanesTest : public ::testing::TestWithParam<Md5Engine> {
protected:
    void SetUp() override {
        if (!Md5EngineRuns(GetParam()))
            GTEST_SKIP() << "this processor cannot run the " << Md5EngineName(GetParam()) << " engine";
    }
};

INSTANTIATE_TEST_SUITE_P(Engines, Md5LanesTest,
                         ::testing::Values(Md5Engine::Avx2, Md5Engine::Avx2x16, Md5Engine::Avx512),
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

TEST_P(Md5LanesTest, DigestsEqualTheSystemsMd5AndOpenSsl) {
    Md5Lanes lanes(GetParam());
    const OpenSslDigests openSsl;
    ASSERT_TRUE(openSsl.ok()) << openSsl.why();
    for (std::size_t k = 0; k < std::size(md5_workloads::kWorkloads); ++k) {
        const Workload& workload = md5_workloads::kWorkloads[k];
        const std::vector<Bytes> messages = md5_workloads::MessagesOf(k, lanes.width());
        const std::vector<Digest> digests = HashInLanes(lanes, messages, workload.schedule, md5_workloads::SeedOf(k));
        ExpectDigests(messages, digests, workload.name);
        for (std::size_t i = 0; i < messages.size() && i < digests.size(); ++i)
            ASSERT_EQ(Hex(digests[i]), openSsl.Of(lanes.width(), k, i))
                << workload.name << ": message " << i << " of " << messages[i].size() << " bytes, against OpenSSL";
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
    for (const Bytes& message : byLength) expected.push_back(SystemMd5(message));

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
                    FAIL() << "order " << tried << ": lane " << lane << " finished as number " << finished << " with "
                           << Hex(digest) << ", message " << order[lane] << " is " << Hex(expected[order[lane]]);
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
#ifdef _WIN32
    _putenv_s("SUMVANE_MD5", value ? value : "");  // "" removes it
#else
    if (value)
        setenv("SUMVANE_MD5", value, 1);
    else
        unsetenv("SUMVANE_MD5");
#endif
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

// CopyHashed: streams of every awkward length copied whole, in lanes and on
// two cores, each digest the system's digest of the bytes written; a read or
// a write that fails ends its own stream alone.
TEST(CopyHashedTest, EachStreamCopiedWholeAndHashedAsWrittenOrFailedAlone) {
    struct Stream final : TesselLibrary::CopyStream {
        Bytes from, to;
        std::size_t at = 0;
        std::size_t failReadAt = SIZE_MAX, failWriteAt = SIZE_MAX;
        bool Read(std::uint8_t* bytes, std::size_t length, std::size_t* got) override {
            if (at >= failReadAt) return false;
            *got = std::min(length, from.size() - at);
            std::copy_n(from.begin() + static_cast<std::ptrdiff_t>(at), *got, bytes);
            at += *got;
            return true;
        }
        bool Write(const std::uint8_t* bytes, std::size_t length) override {
            if (to.size() + length > failWriteAt) return false;
            to.insert(to.end(), bytes, bytes + length);
            return true;
        }
    };
    std::mt19937 random(40);
    const std::size_t piece = std::size_t{128} << 10;
    const std::size_t lengths[] = {0, 1, 55, 64, piece - 1, piece, piece + 1, 3 * piece + 7, 300001};
    for (const std::size_t count : {std::size_t{1}, std::size_t{3}, std::size_t{40}}) {
        SCOPED_TRACE(count);
        std::vector<Stream> streams(count);
        std::vector<TesselLibrary::CopyStream*> pointers;
        for (std::size_t i = 0; i < count; ++i) {
            streams[i].from = RandomBytes(random, lengths[i % std::size(lengths)]);
            pointers.push_back(&streams[i]);
        }
        if (count > 3) {
            streams[7].failReadAt = piece;    // fails after its first piece
            streams[16].failWriteAt = piece;  // its second piece is not written
        }
        const std::vector<TesselLibrary::HashedCopy> copied = TesselLibrary::CopyHashed(pointers);
        ASSERT_EQ(copied.size(), count);
        for (std::size_t i = 0; i < count; ++i) {
            SCOPED_TRACE(i);
            if (count > 3 && i == 7) {
                EXPECT_EQ(copied[i].end, TesselLibrary::CopyEnd::ReadFailed);
            } else if (count > 3 && i == 16) {
                EXPECT_EQ(copied[i].end, TesselLibrary::CopyEnd::WriteFailed);
            } else {
                ASSERT_EQ(copied[i].end, TesselLibrary::CopyEnd::Copied);
                EXPECT_EQ(streams[i].to, streams[i].from);
                Digest digest;
                std::copy(std::begin(copied[i].digest), std::end(copied[i].digest), digest.begin());
                EXPECT_EQ(Hex(digest), Hex(SystemMd5(streams[i].from)));
            }
        }
    }
}

TEST(Md5EngineChoiceTest, ForcedEnginesAndTheirFallback) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const Md5Engine best = Md5EngineRuns(Md5Engine::Avx512)    ? Md5Engine::Avx512
                           : Md5EngineRuns(Md5Engine::Avx2x16) ? Md5Engine::Avx2x16
                                                               : Md5Engine::OneStream;
    auto ifRuns = [&](Md5Engine engine) { return Md5EngineRuns(engine) ? engine : best; };
    std::string oneStreamInCapitals = TesselLibrary::kOneStreamMd5Name;
    for (char& c : oneStreamInCapitals) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const std::pair<const char*, Md5Engine> cases[] = {
        {nullptr, best},
        {"", best},
        {"bogus", best},
        {TesselLibrary::kOneStreamMd5Name, Md5Engine::OneStream},
        {oneStreamInCapitals.c_str(), Md5Engine::OneStream},
        {"OneStream", Md5Engine::OneStream},
        {TesselLibrary::kWindowsBuild ? "openssl" : "cryptoapi", best},  // the other system's
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
