// A folder held open by the run. Files and folders inside it are opened,
// created, renamed and removed by name relative to it, so that no rename of
// a folder above it, and no link swapped into its path afterwards, can
// redirect a read or a write elsewhere. On POSIX it is a folder descriptor;
// on Windows a handle that keeps the folder (and so its path) from being
// renamed or removed while it is held, names being joined to that path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace TesselLibrary {

struct DirectoryEntry {
    std::u16string name;
    bool isDirectory = false;  // also true for a link that points to a folder
    bool isLink = false;       // a symbolic link or reparse point: never descended into
    std::uint64_t size = 0;    // a file's size, when the listing was asked for sizes
};

// The entries of one folder, held compactly: every name in a few large
// blocks in the system's own form (bytes on POSIX, UTF-16 on Windows), and
// a record of 12 bytes per entry, so that a folder of a million names takes
// some tens of MiB. A name is converted each time it is asked for.
class FolderListing {
public:
    FolderListing() = default;
    FolderListing(FolderListing&&) = default;
    FolderListing& operator=(FolderListing&&) = default;

    std::size_t size() const { return entries_.size(); }
    std::u16string name(std::size_t index) const;
    bool isDirectory(std::size_t index) const { return (entries_[index].kind & kDirectory) != 0; }
    bool isLink(std::size_t index) const { return (entries_[index].kind & kLink) != 0; }
    std::uint64_t fileSize(std::size_t index) const { return index < sizes_.size() ? sizes_[index] : 0; }
    DirectoryEntry operator[](std::size_t index) const {
        return DirectoryEntry{name(index), isDirectory(index), isLink(index), fileSize(index)};
    }

    // `for (const DirectoryEntry& entry : listing)`, each entry made as it is reached.
    class Iterator {
    public:
        using iterator_category = std::input_iterator_tag;
        using value_type = DirectoryEntry;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = DirectoryEntry;

        Iterator(const FolderListing& listing, std::size_t index) : listing_(&listing), index_(index) {}
        DirectoryEntry operator*() const { return (*listing_)[index_]; }
        Iterator& operator++() {
            ++index_;
            return *this;
        }
        bool operator==(const Iterator& other) const { return index_ == other.index_; }

    private:
        const FolderListing* listing_;
        std::size_t index_;
    };
    Iterator begin() const { return Iterator(*this, 0); }
    Iterator end() const { return Iterator(*this, size()); }

private:
    friend class Folder;  // the backends fill it

    static constexpr std::uint8_t kDirectory = 1;
    static constexpr std::uint8_t kLink = 2;
    static constexpr std::uint8_t kAscii = 4;  // the name's bytes are all below 0x80
    struct Entry {
        std::uint32_t block;  // where the name's bytes are
        std::uint32_t at;
        std::uint16_t length;  // in bytes (no system allows a name near 64 KiB); a zero byte follows them
        std::uint8_t type;     // the backend's own note of what the entry is
        std::uint8_t kind;
    };

    // One entry more: `length` bytes of name, in the system's form.
    void Add(const void* name, std::size_t length, std::uint8_t type);
    const char* Stored(const Entry& entry) const { return blocks_[entry.block].get() + entry.at; }

    std::vector<Entry> entries_;
    std::vector<std::unique_ptr<char[]>> blocks_;
    std::size_t blockSize_ = 0;         // of the last block
    std::size_t used_ = 0;              // of the last block
    std::vector<std::uint64_t> sizes_;  // by entry, when sizes were asked for
};

// Which file or folder an object is, whatever its name: two opens of one
// name that give different identities met two different objects.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t node = 0;
    bool operator==(const FileIdentity&) const = default;
};

// Why an open of a folder failed.
enum class FolderProblem {
    None,
    NotFound,      // the name, or a folder on the path, does not exist
    NotAFolder,    // something else has the name: a file, or a link where none is followed
    NoDescriptor,  // the process may hold no more open files (or the system none)
    Unreadable,    // there, but cannot be opened (no access, an I/O error)
};

class Folder {
public:
    ~Folder();
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    // The folder at `path` as the user named it: links on the path are
    // followed. An empty path is the current folder. Null on failure, with
    // the reason in `problem`.
    static std::shared_ptr<Folder> Open(const std::u16string& path, FolderProblem* problem = nullptr);
    // The folder `name` inside this one, never through a link: a name that
    // is a link (or has become one since it was listed) is NotAFolder.
    std::shared_ptr<Folder> OpenChild(const std::u16string& name, FolderProblem* problem = nullptr) const;

    // The path the folder was opened by, as the program forms paths: empty
    // for the current folder, otherwise ending in the separator.
    const std::u16string& path() const { return path_; }
    FileIdentity identity() const { return identity_; }

    // Every entry but "." and "..", into an empty `listing`: on POSIX sorted
    // as NTFS lists a folder (ListedBefore), so that the same tree lists
    // alike on any file system and on either system; on Windows in the
    // order the system returns them. `sizes`: also each file's size (on
    // POSIX a call per file). False when the listing failed at its start or
    // part-way (entries may be missing). A folder is listed once: call it at
    // most once per object.
    bool List(FolderListing& listing, bool sizes) const;

    // The identity of what has the name `name` now, a link itself where
    // there is one; false when nothing has it.
    bool IdentityOf(const std::u16string& name, FileIdentity* identity) const;
    // Removes the file `name` (a link itself, never its target).
    bool Remove(const std::u16string& name) const;
    // The same, but on Windows only when no other program has the file open
    // (a brief hold is waited for): a file held open there is gone only once
    // the last holder lets go, and until then its name cannot be used for a
    // new file. False when the hold lasts. POSIX: Remove.
    bool RemoveUnheld(const std::u16string& name) const;
    // Puts the file `from` in the place of `to` in one step; a link at `to`
    // is replaced, not followed.
    bool Rename(const std::u16string& from, const std::u16string& to) const;
    // The same, but only when nothing has the name `to` at that moment.
    bool RenameNoReplace(const std::u16string& from, const std::u16string& to) const;
    // The folder's own entries (a rename in it) are on the disk when this
    // returns true; true where the file system has no such flush.
    bool Sync() const;
    // An advisory lock on the folder that the runs replacing its summary
    // take, so that two do not build it at once. False when another holds
    // it; true also where the system offers no such lock.
    bool TryLock() const;
    // The folder lies on a file system that keeps a file's date to two
    // seconds only (FAT): a date taken elsewhere comes back rounded there.
    bool KeepsTwoSecondDates() const;

    // For the backend's own opens of names inside: a descriptor or handle.
    std::intptr_t native() const { return native_; }

private:
    Folder(std::intptr_t native, std::u16string path, FileIdentity identity)
        : native_(native), path_(std::move(path)), identity_(identity) {}

    std::intptr_t native_;
    std::u16string path_;
    FileIdentity identity_;
};

}  // namespace TesselLibrary
