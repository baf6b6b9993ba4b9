// Folder on the POSIX backend: listing (links, undecodable names, order),
// children opened without following links, and the operations on names
// inside a held folder that no later rename of its path can redirect.
#ifndef _WIN32

#include "folder.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "text.h"

namespace {

using TesselLibrary::DirectoryEntry;
using TesselLibrary::FileIdentity;
using TesselLibrary::Folder;
using TesselLibrary::FolderProblem;
using TesselLibrary::FromSystemBytes;
using TesselLibrary::ToSystemBytes;

namespace fs = std::filesystem;

struct Seen {
    bool isDirectory;
    bool isLink;
    int count;
};

std::vector<DirectoryEntry> Listing(const std::u16string& path) {
    TesselLibrary::FolderListing listing;
    const std::shared_ptr<Folder> folder = Folder::Open(path);
    EXPECT_NE(folder, nullptr);
    if (folder) {
        EXPECT_TRUE(folder->List(listing, false));
    }
    return std::vector<DirectoryEntry>(listing.begin(), listing.end());
}

std::map<std::u16string, Seen> ListAll(const std::u16string& folder) {
    std::map<std::u16string, Seen> seen;
    for (const DirectoryEntry& entry : Listing(folder)) {
        Seen& s = seen[entry.name];
        s.isDirectory = entry.isDirectory;
        s.isLink = entry.isLink;
        ++s.count;
    }
    return seen;
}

class FolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "sumvane-search-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        folder_ = FromSystemBytes(root_.string() + "/");
    }
    void TearDown() override { fs::remove_all(root_); }

    void MakeFile(const std::string& name) { std::ofstream(root_ / name) << "x"; }

    fs::path root_;
    std::u16string folder_;
};

TEST_F(FolderTest, ReportsEveryKindOfEntry) {
    MakeFile("plain.txt");
    fs::create_directory(root_ / "sub");
    fs::create_directory(root_ / ".hidden");
    fs::create_symlink(root_ / "plain.txt", root_ / "file-link");
    fs::create_directory_symlink(root_ / "sub", root_ / "folder-link");
    fs::create_symlink(root_ / "nowhere", root_ / "dangling-link");

    const auto seen = ListAll(folder_);

    struct Expected {
        std::u16string name;
        bool isDirectory;
        bool isLink;
    };
    // "." and ".." lead out of the folder: never listed.
    const Expected expected[] = {
        {u"plain.txt", false, false}, {u"sub", true, false},        {u".hidden", true, false},
        {u"file-link", false, true},  {u"folder-link", true, true}, {u"dangling-link", false, true},
    };
    EXPECT_EQ(seen.size(), std::size(expected));
    for (const Expected& e : expected) {
        SCOPED_TRACE(ToSystemBytes(e.name));
        const auto found = seen.find(e.name);
        ASSERT_NE(found, seen.end());
        EXPECT_EQ(found->second.count, 1);
        EXPECT_EQ(found->second.isDirectory, e.isDirectory);
        EXPECT_EQ(found->second.isLink, e.isLink);
    }
}

TEST_F(FolderTest, EntriesComeSortedAsNtfsListsThem) {
    // Upper-cased code units decide ("_" comes after "Z", "a" with "A"),
    // the exact names break ties, digits compare as characters.
    for (const char* name : {"m", "B", "_x", "a", "A",
                             "\xC3\xA9"
                             "1",
                             "\xC3\x89"
                             "0",
                             "z10", "z9", "ab"})
        MakeFile(name);
    std::u16string actual;
    for (const DirectoryEntry& entry : Listing(folder_)) actual += entry.name + u"|";
    EXPECT_EQ(actual, u"A|a|ab|B|m|z10|z9|_x|\u00C90|\u00E91|");
}

TEST_F(FolderTest, UndecodableNameRoundTrips) {
    const std::string raw = "caf\xE9-\xFF.txt";  // Latin-1 bytes: not UTF-8
    {
        const int fd = open((root_.string() + "/" + raw).c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
        ASSERT_GE(fd, 0);
        close(fd);
    }
    const auto seen = ListAll(folder_);
    bool found = false;
    for (const auto& [name, s] : seen) {
        found = true;
        EXPECT_EQ(ToSystemBytes(name), raw);
        EXPECT_FALSE(s.isDirectory);
        // The name reaches the file again through the same conversion.
        struct stat st {};
        EXPECT_EQ(stat(ToSystemBytes(folder_ + name).c_str(), &st), 0);
    }
    EXPECT_TRUE(found);
}

TEST_F(FolderTest, EmptyFolderMeansCurrentDirectory) {
    MakeFile("here.txt");
    const fs::path previous = fs::current_path();
    fs::current_path(root_);
    const std::shared_ptr<Folder> here = Folder::Open(u"");
    fs::current_path(previous);
    ASSERT_NE(here, nullptr);
    EXPECT_EQ(here->path(), u"") << "names in it stay relative";
    TesselLibrary::FolderListing entries;
    EXPECT_TRUE(here->List(entries, false));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries.name(0), u"here.txt");
}

TEST_F(FolderTest, WhatIsNoFolderDoesNotOpen) {
    MakeFile("plain.txt");
    fs::create_directory(root_ / "sub");
    fs::create_directory_symlink(root_ / "sub", root_ / "folder-link");
    struct Case {
        std::u16string path;
        FolderProblem problem;
    };
    const Case cases[] = {
        {folder_ + u"missing/", FolderProblem::NotFound},
        {folder_ + u"missing/deeper", FolderProblem::NotFound},
        {folder_ + u"plain.txt/", FolderProblem::NotAFolder},
        {folder_ + u"plain.txt", FolderProblem::NotAFolder},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(ToSystemBytes(c.path));
        FolderProblem problem = FolderProblem::None;
        EXPECT_EQ(Folder::Open(c.path, &problem), nullptr);
        EXPECT_EQ(problem, c.problem);
    }
    // A link the user names is followed; a child that is a link never is.
    EXPECT_NE(Folder::Open(folder_ + u"folder-link"), nullptr);
    const std::shared_ptr<Folder> root = Folder::Open(folder_);
    ASSERT_NE(root, nullptr);
    struct Child {
        std::u16string name;
        FolderProblem problem;
    };
    const Child children[] = {
        {u"folder-link", FolderProblem::NotAFolder}, {u"plain.txt", FolderProblem::NotAFolder},
        {u"missing", FolderProblem::NotFound},       {u"..", FolderProblem::NotAFolder},
        {u"sub/..", FolderProblem::NotAFolder},      {u"", FolderProblem::NotAFolder},
    };
    for (const Child& c : children) {
        SCOPED_TRACE(ToSystemBytes(c.name));
        FolderProblem problem = FolderProblem::None;
        EXPECT_EQ(root->OpenChild(c.name, &problem), nullptr);
        EXPECT_EQ(problem, c.problem);
    }
    const std::shared_ptr<Folder> sub = root->OpenChild(u"sub");
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(sub->path(), folder_ + u"sub/");
}

TEST_F(FolderTest, NamesInAHeldFolderStayInItAfterItsPathChanges) {
    fs::create_directory(root_ / "held");
    const std::shared_ptr<Folder> held = Folder::Open(folder_ + u"held");
    ASSERT_NE(held, nullptr);
    const FileIdentity before = held->identity();
    // Its path now leads elsewhere: a link to another folder.
    fs::rename(root_ / "held", root_ / "moved");
    fs::create_directory(root_ / "elsewhere");
    fs::create_directory_symlink(root_ / "elsewhere", root_ / "held");

    std::ofstream(root_ / "moved" / "a") << "a";
    FileIdentity named;
    ASSERT_TRUE(held->IdentityOf(u"a", &named));
    EXPECT_TRUE(held->Rename(u"a", u"b"));
    EXPECT_TRUE(fs::exists(root_ / "moved" / "b"));
    EXPECT_TRUE(held->Sync());
    EXPECT_TRUE(held->Remove(u"b"));
    EXPECT_FALSE(fs::exists(root_ / "moved" / "b"));
    EXPECT_FALSE(held->Remove(u"b")) << "nothing left to remove";
    EXPECT_FALSE(held->Remove(u"../moved")) << "one name only";
    EXPECT_TRUE(fs::is_empty(root_ / "elsewhere"));

    const std::shared_ptr<Folder> again = Folder::Open(folder_ + u"moved");
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->identity(), before);
    EXPECT_NE(Folder::Open(folder_ + u"elsewhere")->identity(), before);
}

TEST_F(FolderTest, OnlyOneRunHoldsTheLock) {
    std::shared_ptr<Folder> first = Folder::Open(folder_);
    const std::shared_ptr<Folder> second = Folder::Open(folder_);
    ASSERT_TRUE(first && second);
    EXPECT_TRUE(first->TryLock());
    EXPECT_FALSE(second->TryLock());
    first.reset();  // the lock goes with its descriptor
    EXPECT_TRUE(second->TryLock());
}

}  // namespace

#endif  // _WIN32
