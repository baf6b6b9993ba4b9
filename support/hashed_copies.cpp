#include "hashed_copies.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <system_error>
#include <thread>

#include "md5.h"
#include "md5_engine.h"
#include "md5_lanes.h"
#include "processors.h"

namespace TesselLibrary {

namespace {

// Each stream's bytes go through in pieces of this size: small enough that
// a piece of every lane is still in the cache when the lanes hash it.
constexpr std::size_t kPiece = std::size_t{128} << 10;
// Files enough to share between two cores.
constexpr std::size_t kFilesForTwoCores = 4;

void OneAfterAnother(const std::vector<CopyStream*>& streams, std::vector<HashedCopy>& copied) {
    Md5Provider provider;
    Md5Hash hash(provider);
    const auto piece = std::make_unique_for_overwrite<std::uint8_t[]>(kPiece);
    for (std::size_t i = 0; i < streams.size(); ++i) {
        HashedCopy& copy = copied[i];
        if (!provider.ok() || !hash.ok() || !hash.Restart()) continue;  // WriteFailed
        for (;;) {
            std::size_t got = 0;
            if (!streams[i]->Read(piece.get(), kPiece, &got)) {
                copy.end = CopyEnd::ReadFailed;
                break;
            }
            if (got == 0) {
                if (hash.Final(copy.digest)) copy.end = CopyEnd::Copied;
                break;
            }
            if (!streams[i]->Write(piece.get(), got) || !hash.Update(piece.get(), static_cast<std::uint32_t>(got)))
                break;  // WriteFailed
        }
    }
}

class SideBySide {
public:
    SideBySide(const std::vector<CopyStream*>& streams, std::vector<HashedCopy>& copied, Md5Engine engine)
        : streams_(streams), copied_(copied), lanes_(engine), inLane_(lanes_.width()) {
        buffers_ = std::make_unique_for_overwrite<std::uint8_t[]>(kPiece * inLane_.size());
    }

    bool runs() const { return !inLane_.empty(); }

    void Run() {
        for (;;) {
            StartIdleLanes();
            if (busy_ == 0) return;
            for (unsigned lane = 0; lane < inLane_.size(); ++lane) Feed(lane);
            lanes_.Run();
            CollectFinished();
        }
    }

private:
    void StartIdleLanes() {
        for (unsigned lane = 0; lane < inLane_.size() && next_ < streams_.size(); ++lane) {
            if (inLane_[lane] || !lanes_.Start(lane)) continue;
            inLane_[lane] = next_++;
            ++busy_;
        }
    }

    void Feed(unsigned lane) {
        if (!inLane_[lane] || !lanes_.NeedsInput(lane)) return;
        const std::size_t i = *inLane_[lane];
        std::uint8_t* piece = buffers_.get() + lane * kPiece;
        std::size_t got = 0;
        // A lane that failed is ended, and its digest thrown away.
        if (!streams_[i]->Read(piece, kPiece, &got)) {
            copied_[i].end = CopyEnd::ReadFailed;
        } else if (got > 0 && !streams_[i]->Write(piece, got)) {
            copied_[i].end = CopyEnd::WriteFailed;
        } else {
            if (got > 0) lanes_.Feed(lane, piece, got);
            if (got == kPiece) return;
            copied_[i].end = CopyEnd::Copied;  // fewer bytes than asked: the end
        }
        lanes_.End(lane);
    }

    void CollectFinished() {
        for (unsigned lane = 0; lane < inLane_.size(); ++lane) {
            std::uint8_t digest[16];
            if (!inLane_[lane] || !lanes_.Finished(lane, digest)) continue;
            HashedCopy& copy = copied_[*inLane_[lane]];
            if (copy.end == CopyEnd::Copied) std::copy(digest, digest + 16, copy.digest);
            inLane_[lane].reset();
            --busy_;
        }
    }

    const std::vector<CopyStream*>& streams_;
    std::vector<HashedCopy>& copied_;
    Md5Lanes lanes_;
    std::vector<std::optional<std::size_t>> inLane_;  // the stream in each lane
    std::unique_ptr<std::uint8_t[]> buffers_;         // a piece for each lane
    std::size_t next_ = 0;                            // the first stream not started
    unsigned busy_ = 0;
};

void CopyOnOneCore(const std::vector<CopyStream*>& streams, std::vector<HashedCopy>& copied) {
    const Md5Engine engine = ChosenMd5Engine();
    // One stream alone gains nothing from the lanes.
    if (engine != Md5Engine::OneStream && streams.size() > 1) {
        SideBySide lanes(streams, copied, engine);
        if (lanes.runs()) {
            lanes.Run();
            return;
        }
    }
    OneAfterAnother(streams, copied);
}

}  // namespace

std::vector<HashedCopy> CopyHashed(const std::vector<CopyStream*>& streams) {
    std::vector<HashedCopy> copied(streams.size());
    // Most of a copy's time goes on the system's copying of the bytes into
    // and out of its caches: the files are shared between two cores where
    // there are two and enough files for both.
    if (streams.size() < kFilesForTwoCores || UsableProcessors() < 2) {
        CopyOnOneCore(streams, copied);
        return copied;
    }
    const std::size_t half = streams.size() / 2;
    const std::vector<CopyStream*> first(streams.begin(), streams.begin() + half);
    const std::vector<CopyStream*> second(streams.begin() + half, streams.end());
    std::vector<HashedCopy> firstCopied(first.size()), secondCopied(second.size());
    std::thread other;
    try {
        other = std::thread(CopyOnOneCore, std::cref(first), std::ref(firstCopied));
    } catch (const std::system_error&) {
        // No second thread to be had (the limit on threads reached): the
        // copies are made all the same, on this one.
        CopyOnOneCore(streams, copied);
        return copied;
    }
    CopyOnOneCore(second, secondCopied);
    other.join();
    std::copy(firstCopied.begin(), firstCopied.end(), copied.begin());
    std::copy(secondCopied.begin(), secondCopied.end(), copied.begin() + static_cast<std::ptrdiff_t>(half));
    return copied;
}

}  // namespace TesselLibrary
