// The raw rate of each MD5 engine this machine runs, on messages held in
// memory, on one core: OpenSSL's one stream against the lanes. Every digest
// is checked against OpenSSL's; a wrong one ends the program with exit code 1.
//
//   md5_lanes_rate [seconds per measurement, default 0.3]
//   md5_lanes_rate --chosen     prints the engine ChosenMd5Engine() picks here
#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <time.h>
#include <vector>

#include "md5_lanes.h"

using TesselLibrary::Md5Engine;
using TesselLibrary::Md5Lanes;

namespace {

// The thread's own CPU time: on a shared machine the wall clock also counts
// the time others held the core.
double CpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + now.tv_nsec / 1e9;
}
using Digest = std::array<std::uint8_t, 16>;

std::vector<std::vector<std::uint8_t>> Messages(std::size_t count, std::size_t size) {
    std::vector<std::vector<std::uint8_t>> messages(count, std::vector<std::uint8_t>(size));
    std::uint32_t x = 0x9e3779b9u;
    for (auto& message : messages)
        for (auto& byte : message) {
            x ^= x << 13, x ^= x >> 17, x ^= x << 5;
            byte = static_cast<std::uint8_t>(x);
        }
    return messages;
}

void OneStream(const std::vector<std::vector<std::uint8_t>>& messages, std::vector<Digest>& digests) {
    static EVP_MD_CTX* const context = EVP_MD_CTX_new();
    for (std::size_t i = 0; i < messages.size(); ++i) {
        unsigned length = 0;
        EVP_DigestInit_ex(context, EVP_md5(), nullptr);
        EVP_DigestUpdate(context, messages[i].data(), messages[i].size());
        EVP_DigestFinal_ex(context, digests[i].data(), &length);
    }
}

// Each message fed whole and ended at once, or in pieces of `piece` bytes
// (the first one shorter by a share that differs from message to message,
// so the lanes run dry at different times, as they do when fed from reads);
// a lane that finishes takes the next message.
void InLanes(Md5Lanes& lanes, const std::vector<std::vector<std::uint8_t>>& messages, std::vector<Digest>& digests,
             std::size_t piece) {
    const unsigned width = lanes.width();
    std::size_t started = 0, done = 0;
    unsigned owner[16];
    std::size_t offset[16];
    auto feed = [&](unsigned lane) {
        const auto& message = messages[owner[lane]];
        std::size_t length = message.size() - offset[lane];
        if (piece != 0) {
            const std::size_t first = piece - piece * (owner[lane] % width) / width;
            length = std::min(length, offset[lane] == 0 ? first : piece);
        }
        lanes.Feed(lane, message.data() + offset[lane], length);
        offset[lane] += length;
        if (offset[lane] == message.size()) lanes.End(lane);
    };
    auto start = [&](unsigned lane) {
        lanes.Start(lane);
        owner[lane] = static_cast<unsigned>(started++);
        offset[lane] = 0;
        feed(lane);
    };
    for (unsigned lane = 0; lane < width && started < messages.size(); ++lane) start(lane);
    while (done < messages.size()) {
        lanes.Run();
        for (unsigned lane = 0; lane < width; ++lane) {
            if (lanes.NeedsInput(lane)) {
                feed(lane);
                continue;
            }
            std::uint8_t digest[16];
            if (!lanes.Finished(lane, digest)) continue;
            std::memcpy(digests[owner[lane]].data(), digest, 16);
            ++done;
            if (started < messages.size()) start(lane);
        }
    }
}

// Bytes per CPU second of the fastest of five measurements, each repeating
// the whole set for at least `seconds`.
template <typename Hash>
double Rate(Hash hash, const std::vector<std::vector<std::uint8_t>>& messages, double seconds) {
    std::vector<Digest> digests(messages.size());
    std::size_t bytes = 0;
    for (const auto& message : messages) bytes += message.size();
    // Sets hashed between two readings of the clock, whose cost is a system call.
    const std::size_t batch = std::max<std::size_t>(1, (std::size_t{4} << 20) / bytes);
    double best = 0;
    for (int round = 0; round < 5; ++round) {
        std::size_t sets = 0;
        const double begin = CpuSeconds();
        double elapsed = 0;
        do {
            for (std::size_t k = 0; k < batch; ++k) hash(messages, digests);
            sets += batch;
            elapsed = CpuSeconds() - begin;
        } while (elapsed < seconds);
        best = std::max(best, static_cast<double>(bytes) * sets / elapsed);
    }
    std::vector<Digest> expected(messages.size());
    OneStream(messages, expected);
    hash(messages, digests);
    if (digests != expected) {
        std::fprintf(stderr, "md5_lanes_rate: a digest differs from OpenSSL's\n");
        std::exit(1);
    }
    return best;
}

std::string CpuModel() {
    std::FILE* file = std::fopen("/proc/cpuinfo", "r");
    char line[512];
    std::string model = "unknown CPU";
    while (file && std::fgets(line, sizeof line, file)) {
        if (std::strncmp(line, "model name", 10) != 0) continue;
        const char* colon = std::strchr(line, ':');
        if (colon) model = std::string(colon + 2, std::strcspn(colon + 2, "\n"));
        break;
    }
    if (file) std::fclose(file);
    return model;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--chosen") == 0) {
        std::printf("%s\n", TesselLibrary::Md5EngineName(TesselLibrary::ChosenMd5Engine()));
        return 0;
    }
    const double seconds = argc > 1 ? std::atof(argv[1]) : 0.3;
    std::vector<Md5Engine> engines;
    for (Md5Engine engine : {Md5Engine::Avx2, Md5Engine::Avx2x16, Md5Engine::Avx512})
        if (TesselLibrary::Md5EngineRuns(engine)) engines.push_back(engine);

    std::printf("MD5 on one core of %s, messages in memory; MB per CPU second (10^6 bytes), fastest of 5.\n",
                CpuModel().c_str());
    std::printf("Engines this machine runs: openssl");
    for (Md5Engine engine : engines) std::printf(", %s", TesselLibrary::Md5EngineName(engine));
    std::printf("; ChosenMd5Engine: %s.\n\n", TesselLibrary::Md5EngineName(TesselLibrary::ChosenMd5Engine()));

    std::printf("| messages | openssl MB/s |");
    for (Md5Engine engine : engines) std::printf(" %s MB/s | x openssl |", TesselLibrary::Md5EngineName(engine));
    std::printf("\n|---|---:|");
    for (std::size_t k = 0; k < engines.size(); ++k) std::printf("---:|---:|");
    std::printf("\n");
    struct Set {
        std::size_t count, size, piece;
        const char* text;
    };
    const Set sets[] = {
        {8, 4096, 0, "8 x 4 KiB"},
        {16, 4096, 0, "16 x 4 KiB"},
        {8, 65536, 0, "8 x 64 KiB"},
        {16, 65536, 0, "16 x 64 KiB"},
        {8, 1 << 20, 0, "8 x 1 MiB"},
        {16, 1 << 20, 0, "16 x 1 MiB"},
        {16, 1 << 20, 65536, "16 x 1 MiB in 64 KiB pieces"},
        {16, 1 << 20, 4096, "16 x 1 MiB in 4 KiB pieces"},
        {256, 55, 0, "256 x 55 bytes"},
        {256, 4087, 0, "256 x 4087 bytes"},
    };
    for (const Set& set : sets) {
        const auto messages = Messages(set.count, set.size);
        const double base = Rate(OneStream, messages, seconds);
        std::printf("| %s | %.0f |", set.text, base / 1e6);
        for (Md5Engine engine : engines) {
            Md5Lanes lanes(engine);
            const double rate =
                Rate([&](const auto& m, auto& d) { InLanes(lanes, m, d, set.piece); }, messages, seconds);
            std::printf(" %.0f | %.2f |", rate / 1e6, rate / base);
        }
        std::printf("\n");
        std::fflush(stdout);
    }
    return 0;
}
