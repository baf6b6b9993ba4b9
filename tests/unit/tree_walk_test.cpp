// The walk of a build over real trees: the items it yields and their order,
// what it never enters, and a tree deeper than its folder descriptors.
// POSIX links and permissions: the Windows walk is checked end to end.
#ifndef _WIN32

#include "engine/tree_walk.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "posix_test_support.h"
#include "text.h"

using TesselLibrary::Folder;
using TesselLibrary::FromSystemBytes;
using TesselLibrary::ToSystemBytes;

namespace {

// Each item as "kind path below the root", the kind F (file), U
// (unreadable folder) or N (a name no summary line holds).
class Collected final : public ItemSink<BuildItem> {
public:
    explicit Collected(std::size_t rootLength) : rootLength_(rootLength) {}
    void push(BuildItem&& item, DigestTask&& task) override {
        const char kind = item.kind == BuildItem::Kind::File               ? 'F'
                          : item.kind == BuildItem::Kind::UnreadableFolder ? 'U'
                                                                           : 'N';
        items.push_back(std::string(1, kind) + " " + ToSystemBytes(item.path).substr(rootLength_));
        // A file is handed on as its name in the folder the walk holds.
        if (task.hash && (!task.file.folder || task.file.name.empty())) items.back() += " (no folder)";
    }  // the task goes, and with it the walk's folder: as the hashers let go
    // A walk that waits this long for a folder token will never get one:
    // stopping it fails the case instead of hanging the suite.
    bool stopping() override { return std::chrono::steady_clock::now() - start_ > std::chrono::seconds(20); }
    std::vector<std::string> items;

private:
    std::size_t rootLength_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

struct Walked {
    std::vector<std::string> items;
    std::uint64_t filesFound = 0;
    unsigned tokensLeft = 0;  // folder tokens still taken after the walk
};

// `excluded`: paths below the root; the empty one is the root as typed.
Walked Walk(const std::string& root, bool recursive, const std::vector<std::string>& excluded, unsigned folderTokens) {
    TreeWalkSettings settings;
    settings.folder = FromSystemBytes(root);
    settings.rootPath = FromSystemBytes(root + "/");
    settings.recursive = recursive;
    for (const std::string& path : excluded)
        settings.excludedFolders.push_back(FromSystemBytes(path.empty() ? root : root + "/" + path));
    settings.summaryName = u"Sumvane.md5";
    DescriptorBudget folders(folderTokens);
    Collected sink(root.size() + 1);
    TreeWalk walk(Folder::Open(settings.folder), settings, folders);
    walk.Run(sink);
    return Walked{sink.items, walk.filesFound(), folders.outstanding()};
}

void Tree(const posix_test::TempDir& dir) {
    for (const char* file : {"a.txt", "B.txt", "_x.txt", "Sumvane.md5", "Sumvane.md5X", "sub/c.txt", "sub/deeper/d.txt",
                             "sub/deeper/deepest/e.txt", "Sub2/f.txt", ".hidden/g.txt", "name\nwith a line feed"})
        posix_test::WriteFile(dir / file, "x");
    ASSERT_EQ(::symlink((dir / "sub").c_str(), (dir / "linked folder").c_str()), 0);
    ASSERT_EQ(::symlink((dir / "a.txt").c_str(), (dir / "linked file").c_str()), 0);
}

TEST(TreeWalkTest, YieldsEachTreeInTheSummarysOrder) {
    posix_test::TempDir dir;
    Tree(dir);
    // Left by a killed run in the root (half its first line): removed, never
    // listed. A subfolder holds no such file of the program's: one there is
    // recorded.
    posix_test::WriteFile(dir / ".sumvane-0000left.tmp", "0123456789ABCDEF0123456789ABCDEF /ha");
    posix_test::WriteFile(dir / "sub/.sumvane-0000left.tmp", "0123456789ABCDEF0123456789ABCDEF /ha");
    const std::vector<std::string> rootFiles = {"F a.txt", "F B.txt", "F linked file", "N name\nwith a line feed",
                                                "F _x.txt"};
    const struct Case {
        const char* what;
        bool recursive;
        std::vector<std::string> excluded;
        std::vector<std::string> below;  // after the root's files
    } cases[] = {
        {"the root's files only", false, {}, {}},
        {"depth first; no dot-folder, no linked folder",
         true,
         {},
         {"F sub/.sumvane-0000left.tmp", "F sub/c.txt", "F sub/deeper/d.txt", "F sub/deeper/deepest/e.txt",
          "F Sub2/f.txt"}},
        {"an exclusion in any letter case, with all below it",
         true,
         {"SUB/Deeper"},
         {"F sub/.sumvane-0000left.tmp", "F sub/c.txt", "F Sub2/f.txt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> expected = rootFiles;
        expected.insert(expected.end(), c.below.begin(), c.below.end());
        const Walked walked = Walk(dir.path(), c.recursive, c.excluded, 8);
        EXPECT_EQ(walked.items, expected);
        EXPECT_EQ(walked.filesFound, expected.size() - 1) << "the unrecordable name is no file found";
        EXPECT_EQ(walked.tokensLeft, 0u);
    }
    EXPECT_FALSE(posix_test::Exists(dir / ".sumvane-0000left.tmp"));
    EXPECT_TRUE(posix_test::Exists(dir / "sub/.sumvane-0000left.tmp"));
    // The root itself excluded: nothing at all.
    EXPECT_EQ(Walk(dir.path(), true, {""}, 8).items, std::vector<std::string>{});
}

// With fewer folder descriptors than the tree is deep, the walk lets go of
// the folders nearest the root and opens them again by name: the same
// items, every token back at the end. One token walks the folders below
// the root (the root is held outside the budget).
TEST(TreeWalkTest, ADeepTreeWalksWholeOnTwoOrThreeFolderTokens) {
    posix_test::TempDir dir;
    for (const char* file : {"1/2/3/4/5/deep.txt", "1/2/3/side/s.txt", "1/2/x.txt", "1/other/o.txt", "top/t.txt"})
        posix_test::WriteFile(dir / file, "x");
    const std::vector<std::string> expected = {"F 1/2/x.txt", "F 1/2/3/4/5/deep.txt", "F 1/2/3/side/s.txt",
                                               "F 1/other/o.txt", "F top/t.txt"};
    for (const unsigned tokens : {2u, 3u, 64u}) {
        SCOPED_TRACE(tokens);
        const Walked walked = Walk(dir.path(), true, {}, tokens);
        EXPECT_EQ(walked.items, expected);
        EXPECT_EQ(walked.tokensLeft, 0u);
    }
    posix_test::TempDir flat;
    for (const char* file : {"a/1.txt", "b/2.txt", "c/3.txt"}) posix_test::WriteFile(flat / file, "x");
    EXPECT_EQ(Walk(flat.path(), true, {}, 1).items, (std::vector<std::string>{"F a/1.txt", "F b/2.txt", "F c/3.txt"}));
}

TEST(TreeWalkTest, AFolderThatCannotBeReadIsSaidInItsPlace) {
    posix_test::TempDir dir;
    for (const char* file : {"a.txt", "locked/hidden.txt", "open/b.txt"}) posix_test::WriteFile(dir / file, "x");
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    ASSERT_EQ(::chmod((dir / "locked").c_str(), 0), 0);
    const std::string items = posix_test::Unprivileged([&] {
        std::string text;
        for (const std::string& item : Walk(dir.path(), true, {}, 8).items) text += item + "|";
        return text;
    });
    EXPECT_EQ(items, "F a.txt|U locked/|F open/b.txt|");
    // The root itself unreadable: one item for it.
    ASSERT_EQ(::chmod(dir.path().c_str(), 0), 0);
    const std::string root = posix_test::Unprivileged([&] {
        TreeWalkSettings settings;
        settings.folder = FromSystemBytes(dir.path());
        settings.rootPath = FromSystemBytes(dir.path() + "/");
        DescriptorBudget folders(8);
        Collected sink(0);
        TreeWalk(Folder::Open(settings.folder), settings, folders).Run(sink);
        return sink.items.size() == 1 ? sink.items[0] : std::string("several items");
    });
    ::chmod(dir.path().c_str(), 0700);
    ::chmod((dir / "locked").c_str(), 0700);
    EXPECT_EQ(root, "U " + dir.path() + "/");
}

}  // namespace

#endif  // _WIN32
