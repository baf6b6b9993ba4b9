// FileReader: small files are read piece by piece in the caller's thread;
// a file larger than a few pieces is read ahead into a ring of buffers by a
// thread of its own, so that reading the next piece overlaps hashing this one.
#include "file_reader.h"

#include <condition_variable>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

namespace TesselLibrary {

namespace {

// One read for most files, few for the rest; reused for every file.
constexpr std::size_t kDirectPiece = std::size_t{256} << 10;
// Beyond this a second thread pays off.
constexpr std::uint64_t kReadAheadFrom = std::uint64_t{4} * kDirectPiece;
// Enough pieces in flight to keep a disk streaming; small enough that a
// thread per processor stays within a few tens of MiB.
constexpr std::size_t kRingSlots = 4;
constexpr std::size_t kRingPiece = std::size_t{2} << 20;

}  // namespace

// The ring's buffers outlive a file; the state is reset for each.
struct ReadAheadRing {
    struct Slot {
        std::unique_ptr<std::uint8_t[]> bytes = std::make_unique_for_overwrite<std::uint8_t[]>(kRingPiece);
        std::size_t length = 0;
        bool filled = false;
    };
    Slot slots[kRingSlots];
    std::mutex mutex;
    std::condition_variable changed;
    bool readFailed = false;  // the reader stopped on an error or a short file
    bool stop = false;        // the consumer wants no more

    // Nothing when no reading thread could be started; nothing is read then.
    std::optional<ReadOutcome> Read(SequentialFile& file, const FileReader::Consumer& consume);

private:
    void Fill(SequentialFile& file);
};

void ReadAheadRing::Fill(SequentialFile& file) {
    std::uint64_t left = file.size();
    for (std::size_t index = 0; left > 0; index = (index + 1) % kRingSlots) {
        Slot& slot = slots[index];
        {
            std::unique_lock<std::mutex> lock(mutex);
            changed.wait(lock, [&] { return !slot.filled || stop; });
            if (stop) return;
        }
        const std::size_t asked = left < kRingPiece ? static_cast<std::size_t>(left) : kRingPiece;
        std::size_t got = 0;
        const bool ok = file.Read(slot.bytes.get(), asked, &got) && got == asked;
        std::lock_guard<std::mutex> lock(mutex);
        if (!ok) {
            readFailed = true;
            changed.notify_all();
            return;
        }
        slot.length = got;
        slot.filled = true;
        left -= got;
        changed.notify_all();
    }
}

std::optional<ReadOutcome> ReadAheadRing::Read(SequentialFile& file, const FileReader::Consumer& consume) {
    for (Slot& slot : slots) slot.filled = false;
    readFailed = false;
    stop = false;

    std::thread reader;
    try {
        reader = std::thread(&ReadAheadRing::Fill, this, std::ref(file));
    } catch (const std::system_error&) {
        return std::nullopt;  // out of threads: the caller reads it alone
    }
    ReadOutcome outcome = ReadOutcome::Complete;
    std::uint64_t left = file.size();
    for (std::size_t index = 0; left > 0; index = (index + 1) % kRingSlots) {
        Slot& slot = slots[index];
        {
            std::unique_lock<std::mutex> lock(mutex);
            changed.wait(lock, [&] { return slot.filled || readFailed; });
            if (!slot.filled) {
                outcome = ReadOutcome::Unreadable;
                break;
            }
        }
        // The slot is the consumer's alone until it is marked free again.
        const bool taken = consume(slot.bytes.get(), slot.length);
        left -= slot.length;
        std::lock_guard<std::mutex> lock(mutex);
        slot.filled = false;
        changed.notify_all();
        if (!taken) {
            outcome = ReadOutcome::Unreadable;
            break;
        }
    }
    {
        std::lock_guard<std::mutex> lock(mutex);
        stop = true;
        changed.notify_all();
    }
    reader.join();
    return outcome;
}

FileReader::FileReader() : buffer_(std::make_unique_for_overwrite<std::uint8_t[]>(kDirectPiece)) {}

FileReader::~FileReader() = default;

ReadOutcome FileReader::ReadWhole(const std::u16string& path, const Consumer& consume) {
    SequentialFile file;
    const ReadOutcome opened = file.Open(path);
    if (opened != ReadOutcome::Complete) return opened;
    return ReadWhole(file, consume);
}

ReadOutcome FileReader::ReadWhole(SequentialFile& file, const Consumer& consume) {
    if (file.size() == 0) return ReadToEnd(file, consume);
    if (file.size() > kDirectPiece) file.AdviseSequential();
    if (file.size() < kReadAheadFrom) return ReadDirect(file, consume);
    if (!ring_) ring_ = std::make_unique<ReadAheadRing>();
    if (const std::optional<ReadOutcome> outcome = ring_->Read(file, consume)) return *outcome;
    return ReadDirect(file, consume);
}

ReadOutcome FileReader::ReadToEnd(SequentialFile& file, const Consumer& consume) {
    // A size of 0 may be no size at all: files under /proc and of some FUSE
    // file systems are made as they are read. Read until the system says
    // the end has come.
    for (;;) {
        std::size_t got = 0;
        if (!file.Read(buffer_.get(), kDirectPiece, &got)) return ReadOutcome::Unreadable;
        if (got > 0 && !consume(buffer_.get(), got)) return ReadOutcome::Unreadable;
        if (got < kDirectPiece) return ReadOutcome::Complete;
    }
}

ReadOutcome FileReader::ReadDirect(SequentialFile& file, const Consumer& consume) {
    // Exactly the bytes the file had when it was opened: no extra read to
    // meet its end, and a file cut short fails instead of hashing a part.
    std::uint64_t left = file.size();
    while (left > 0) {
        const std::size_t asked = left < kDirectPiece ? static_cast<std::size_t>(left) : kDirectPiece;
        std::size_t got = 0;
        if (!file.Read(buffer_.get(), asked, &got) || got != asked) return ReadOutcome::Unreadable;
        if (!consume(buffer_.get(), got)) return ReadOutcome::Unreadable;
        left -= got;
    }
    return ReadOutcome::Complete;
}

}  // namespace TesselLibrary
