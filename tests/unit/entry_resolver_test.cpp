// Where the verification finds the file a summary line names, in a real
// tree: below the root name by name, never through a linked folder; any
// other path as it is written. POSIX links and permissions: the Windows
// program's resolution is checked end to end under Wine.
#ifndef _WIN32

#include "engine/entry_resolver.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>

#include "posix_test_support.h"
#include "text.h"

using TesselLibrary::Folder;
using TesselLibrary::FromSystemBytes;
using TesselLibrary::ToSystemBytes;

namespace {

// A locate that waits longer than this for a folder token will never get
// one: stopping it fails the case instead of hanging the suite.
std::function<bool()> Patience() {
    return [start = std::chrono::steady_clock::now()] {
        return std::chrono::steady_clock::now() - start > std::chrono::seconds(20);
    };
}

// A place as one text: "in FOLDER: NAME" (FOLDER below the root, "." for
// the root), "as written: PATH", "not found" or "unreadable".
std::string Said(const FilePlace& place, const std::string& root) {
    if (place.reach == FilePlace::Reach::NotFound) return "not found";
    if (place.reach == FilePlace::Reach::Unreadable) return "unreadable";
    if (!place.folder) return "as written: " + ToSystemBytes(place.name);
    const std::string folder = ToSystemBytes(place.folder->path());
    // The folder must be the one of that name now, not merely have its path.
    const std::shared_ptr<Folder> now = Folder::Open(place.folder->path());
    const std::string same = now && now->identity() == place.folder->identity() ? "" : " (another folder)";
    const std::string below = folder.size() > root.size() + 1 ? folder.substr(root.size() + 1) : ".";
    return "in " + below + ": " + ToSystemBytes(place.name) + same;
}

class EntryResolverTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* file : {"a.txt", "sub/c.txt", "sub/deeper/d.txt", "1/2/3/4/e.txt", "1/2/x.txt", ".dot/h.txt"})
            posix_test::WriteFile(dir_ / file, "x");
        ASSERT_EQ(::symlink((dir_ / "sub").c_str(), (dir_ / "linked").c_str()), 0);
        ASSERT_EQ(::symlink((dir_ / "a.txt").c_str(), (dir_ / "linked.txt").c_str()), 0);
    }
    posix_test::TempDir dir_;
};

TEST_F(EntryResolverTest, FindsEachPathOrSaysWhyNot) {
    const std::string r = dir_.path();
    const struct {
        std::string path;
        std::string said;
    } cases[] = {
        {r + "/a.txt", "in .: a.txt"},
        {r + "/sub/deeper/d.txt", "in sub/deeper/: d.txt"},
        {r + "/sub/missing.txt", "in sub/: missing.txt"},  // the hasher finds it missing
        {r + "/.dot/h.txt", "in .dot/: h.txt"},            // the build skips such folders; a summary may name them
        {r + "/linked.txt", "in .: linked.txt"},           // a link to a file is hashed as that file
        {r + "/gone/c.txt", "not found"},
        {r + "/a.txt/c.txt", "not found"},   // a file in a folder's place
        {r + "/linked/c.txt", "not found"},  // a link in a folder's place is never followed
        {r + "/sub/../a.txt", "as written: " + r + "/sub/../a.txt"},
        {r + "/../elsewhere/a.txt", "as written: " + r + "/../elsewhere/a.txt"},
        {r + "/sub//c.txt", "as written: " + r + "/sub//c.txt"},
        {r + "/sub/.", "as written: " + r + "/sub/."},
        {r + "other/a.txt", "as written: " + r + "other/a.txt"},  // only starts like the root
        {"/etc/hostname", "as written: /etc/hostname"},           // outside the root
        {r + "/", "as written: " + r + "/"},
    };
    DescriptorBudget folders(8);
    EntryResolver resolver(Folder::Open(FromSystemBytes(r)), FromSystemBytes(r + "/"), folders, nullptr);
    for (const auto& c : cases) {
        EXPECT_EQ(Said(resolver.Locate(FromSystemBytes(c.path), Patience()), r), c.said) << c.path;
    }
}

// A summary of relative paths is read from the root folder; an absolute
// path in it is opened as written.
TEST_F(EntryResolverTest, RelativePathsBelowARootGivenAsTheCurrentFolder) {
    const std::string r = dir_.path();
    DescriptorBudget folders(8);
    EntryResolver resolver(Folder::Open(FromSystemBytes(r)), u"", folders, nullptr);
    EXPECT_EQ(Said(resolver.Locate(u"sub/c.txt", Patience()), r), "in sub/: c.txt");
    EXPECT_EQ(Said(resolver.Locate(u"linked/c.txt", Patience()), r), "not found");
    EXPECT_EQ(Said(resolver.Locate(FromSystemBytes(r + "/a.txt"), Patience()), r), "as written: " + r + "/a.txt");
}

// One folder's entries share its descriptor; with two folder tokens a deep
// path lets go of the folders nearest the root and still arrives, and the
// next path opens what it needs again. Every token is back at the end.
TEST_F(EntryResolverTest, ConsecutiveEntriesShareAFolderAndFewTokensStillReachDeepPaths) {
    const std::string r = dir_.path();
    for (const unsigned tokens : {2u, 3u}) {
        SCOPED_TRACE(tokens);
        DescriptorBudget folders(tokens);
        {
            EntryResolver resolver(Folder::Open(FromSystemBytes(r)), FromSystemBytes(r + "/"), folders, nullptr);
            {
                // Held here, as an entry still in the line holds it: its
                // token is not back until the places go.
                const FilePlace first = resolver.Locate(FromSystemBytes(r + "/sub/c.txt"), Patience());
                const FilePlace second = resolver.Locate(FromSystemBytes(r + "/sub/other.txt"), Patience());
                ASSERT_NE(first.folder, nullptr);
                EXPECT_EQ(first.folder.get(), second.folder.get());
            }
            const std::string deep = r + "/1/2/3/4/e.txt";
            EXPECT_EQ(Said(resolver.Locate(FromSystemBytes(deep), Patience()), r), "in 1/2/3/4/: e.txt");
            EXPECT_EQ(Said(resolver.Locate(FromSystemBytes(r + "/1/2/x.txt"), Patience()), r), "in 1/2/: x.txt");
            EXPECT_EQ(Said(resolver.Locate(FromSystemBytes(deep), Patience()), r), "in 1/2/3/4/: e.txt");
            EXPECT_EQ(Said(resolver.Locate(FromSystemBytes(r + "/sub/deeper/d.txt"), Patience()), r),
                      "in sub/deeper/: d.txt");
        }
        EXPECT_EQ(folders.outstanding(), 0u);
    }
}

TEST_F(EntryResolverTest, AFolderWithoutAccessIsUnreadableForEveryFileBelowIt) {
    const std::string r = dir_.path();
    posix_test::WriteFile(dir_ / "locked/inner/f.txt", "x");
    ASSERT_EQ(::chmod(r.c_str(), 0755), 0);
    ASSERT_EQ(::chmod((dir_ / "locked").c_str(), 0), 0);
    const std::string said = posix_test::Unprivileged([&] {
        DescriptorBudget folders(8);
        EntryResolver resolver(Folder::Open(FromSystemBytes(r)), FromSystemBytes(r + "/"), folders, nullptr);
        std::string text;
        for (const char* path : {"/locked/f.txt", "/locked/inner/f.txt", "/a.txt"})
            text += Said(resolver.Locate(FromSystemBytes(r + path), Patience()), r) + "|";
        return text;
    });
    ::chmod((dir_ / "locked").c_str(), 0700);
    EXPECT_EQ(said, "unreadable|unreadable|in .: a.txt|");
}

}  // namespace

#endif  // _WIN32
