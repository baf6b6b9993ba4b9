// What a hashing thread is handed, and what it hands back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "file_digest.h"
#include "folder.h"
#include "owner_reads.h"

// Where a file is: `name` in `folder`, or, with no folder, the path `name`
// as given. Or nowhere to open: a folder on its way is missing or is no
// folder (a link the program does not follow), or could not be opened.
struct FilePlace {
    std::shared_ptr<const TesselLibrary::Folder> folder;
    std::u16string name;
    enum class Reach { Open, NotFound, Unreadable } reach = Reach::Open;
    // Run as root: what lies outside the folder is read only as whoever put
    // the link or the summary's line there could (owner_reads.h). Null: read
    // as the program.
    std::shared_ptr<const TesselLibrary::OwnerReads> owner;
};

struct DigestTask {
    FilePlace file;
    // Tried in this order while nothing is found (the other readings of a
    // summary's bytes).
    std::vector<FilePlace> others;
    // False: nothing to open; the item the task goes with says why.
    bool hash = true;
};

struct DigestDone {
    FileDigest digest;
    std::optional<std::size_t> other;  // the one of `others` the digest is of; none: of `file`
};

// Where hashing threads take their tasks from and put their results.
class TaskSource {
public:
    struct Claimed {
        std::size_t index;
        const DigestTask* task;  // valid until Complete(index)
    };
    // The next task nobody has taken. `wait`: waits for one to come; without,
    // nothing when none is there now. Nothing, too, once every task is taken
    // and no more will come, or the line is stopping.
    virtual std::optional<Claimed> Claim(bool wait) = 0;
    // Up to `most` tasks nobody has taken, as Claim(false) would give them
    // one by one, appended to `into`, for the price of one: how many.
    virtual std::size_t Claim(std::size_t most, std::deque<Claimed>& into) = 0;
    virtual void Complete(std::size_t index, DigestDone done) = 0;
    // Several at once, for the price of one wake-up of the consumer.
    virtual void Complete(std::vector<std::pair<std::size_t, DigestDone>>& results) = 0;
    // How far the file of task `index` is read: `done` of its `size` bytes.
    // Said now and then while a large file is read, so that the display can
    // move while it waits for that one file.
    virtual void Reading(std::size_t /*index*/, std::uint64_t /*done*/, std::uint64_t /*size*/) {}

protected:
    ~TaskSource() = default;
};
