// POSIX backend: links, undecodable names and readdir order are Linux facts.
#ifndef _WIN32

#include "directory_search.h"

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
using TesselLibrary::DirectorySearch;
using TesselLibrary::FromSystemBytes;
using TesselLibrary::ToSystemBytes;

namespace fs = std::filesystem;

struct Seen {
    bool isDirectory;
    bool isLink;
    int count;
};

std::map<std::u16string, Seen> ListAll(const std::u16string& folder) {
    std::map<std::u16string, Seen> seen;
    DirectorySearch search(folder);
    EXPECT_TRUE(search.ok());
    DirectoryEntry entry;
    while (search.Next(entry)) {
        Seen& s = seen[entry.name];
        s.isDirectory = entry.isDirectory;
        s.isLink = entry.isLink;
        ++s.count;
    }
    return seen;
}

class DirectorySearchTest : public ::testing::Test {
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

TEST_F(DirectorySearchTest, ReportsEveryKindOfEntry) {
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
    const Expected expected[] = {
        {u".", true, false},
        {u"..", true, false},
        {u"plain.txt", false, false},
        {u"sub", true, false},
        {u".hidden", true, false},
        {u"file-link", false, true},
        {u"folder-link", true, true},
        {u"dangling-link", false, true},
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

TEST_F(DirectorySearchTest, EntriesComeSortedAsNtfsListsThem) {
    // Upper-cased code units decide ("_" comes after "Z", "a" with "A"),
    // the exact names break ties, digits compare as characters.
    for (const char* name : {"m", "B", "_x", "a", "A", "\xC3\xA9" "1", "\xC3\x89" "0", "z10", "z9", "ab"}) MakeFile(name);
    std::u16string actual;
    DirectorySearch search(folder_);
    DirectoryEntry entry;
    while (search.Next(entry)) actual += entry.name + u"|";
    EXPECT_EQ(actual, u".|..|A|a|ab|B|m|z10|z9|_x|\u00C90|\u00E91|");
}

TEST_F(DirectorySearchTest, UndecodableNameRoundTrips) {
    const std::string raw = "caf\xE9-\xFF.txt";  // Latin-1 bytes: not UTF-8
    {
        const int fd = open((root_.string() + "/" + raw).c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
        ASSERT_GE(fd, 0);
        close(fd);
    }
    const auto seen = ListAll(folder_);
    bool found = false;
    for (const auto& [name, s] : seen) {
        if (name == u"." || name == u"..") continue;
        found = true;
        EXPECT_EQ(ToSystemBytes(name), raw);
        EXPECT_FALSE(s.isDirectory);
        // The name reaches the file again through the same conversion.
        struct stat st {};
        EXPECT_EQ(stat(ToSystemBytes(folder_ + name).c_str(), &st), 0);
    }
    EXPECT_TRUE(found);
}

TEST_F(DirectorySearchTest, EmptyFolderMeansCurrentDirectory) {
    MakeFile("here.txt");
    const fs::path previous = fs::current_path();
    fs::current_path(root_);
    const auto seen = ListAll(u"");
    fs::current_path(previous);
    EXPECT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen.count(u"here.txt"), 1u);
    EXPECT_EQ(seen.count(u".."), 1u);
}

TEST_F(DirectorySearchTest, UnlistableFoldersAreNotOk) {
    MakeFile("plain.txt");
    const std::u16string cases[] = {
        folder_ + u"missing/",
        folder_ + u"plain.txt/",
        folder_ + u"plain.txt",
    };
    for (const std::u16string& folder : cases) {
        SCOPED_TRACE(ToSystemBytes(folder));
        DirectorySearch search(folder);
        EXPECT_FALSE(search.ok());
        DirectoryEntry entry;
        EXPECT_FALSE(search.Next(entry));
    }
}

}  // namespace

#endif  // _WIN32
