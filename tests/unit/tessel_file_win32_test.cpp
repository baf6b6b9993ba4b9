// TesselFile, FileHandle, FileExists and RemoveFile on the Win32 backend: the
// handle's directions, replacement on Commit, the errors an open reports and
// the share modes other processes meet.
#ifdef _WIN32

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "file_handle.h"
#include "tessel_file.h"
#include "win32_test_support.h"
#include "remove_file.h"

namespace {

using TesselLibrary::FileExists;
using TesselLibrary::FileHandle;
using TesselLibrary::RemoveFile;
using TesselLibrary::TesselFile;
using win32_test::PutFile;
using win32_test::ReadWholeFile;
using win32_test::ScopedHandle;
using win32_test::U;

class TesselFileWin32Test : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(dir_.path().empty()); }
    std::wstring Path(const wchar_t* name) const { return dir_ / name; }
    static HANDLE OpenOther(const std::wstring& path, DWORD access, DWORD share) {
        return ::CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    }

    // The names in the folder, "." and ".." left out.
    std::vector<std::wstring> Names() const {
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW found{};
        const HANDLE find = ::FindFirstFileW((dir_.path() + L"*").c_str(), &found);
        if (find == INVALID_HANDLE_VALUE) return names;
        do {
            const std::wstring name = found.cFileName;
            if (name != L"." && name != L"..") names.push_back(name);
        } while (::FindNextFileW(find, &found));
        ::FindClose(find);
        return names;
    }

    win32_test::TempDir dir_;
};

TEST_F(TesselFileWin32Test, WriteReplacesTheFileOnCommitOnly) {
    const std::wstring path = Path(L"summary.md5");
    ASSERT_TRUE(PutFile(path, "old contents that are longer"));
    {
        TesselFile file(U(path));
        ASSERT_TRUE(file.Write("abc", 3));
        ASSERT_TRUE(file.Write("def", 3));
        ASSERT_TRUE(file.Append("g", 1));  // continues where Write stopped
        EXPECT_EQ(ReadWholeFile(path), "old contents that are longer") << "untouched until Commit";
        EXPECT_EQ(Names().size(), 2u) << "the new file is made beside it";
        ASSERT_TRUE(file.Commit());
        EXPECT_FALSE(file.Commit()) << "nothing written since";
    }
    EXPECT_EQ(ReadWholeFile(path), "abcdefg");
    {
        TesselFile file(U(path));
        ASSERT_TRUE(file.Append("hi", 2));
    }
    EXPECT_EQ(ReadWholeFile(path), "abcdefghi");
    {
        TesselFile file(U(path));
        ASSERT_TRUE(file.Write("lost", 4));
    }  // never committed
    EXPECT_EQ(ReadWholeFile(path), "abcdefghi");
    EXPECT_EQ(Names(), std::vector<std::wstring>{L"summary.md5"}) << "the uncommitted file is gone";
}

TEST_F(TesselFileWin32Test, CommitLeavesAFileInUseAsItWas) {
    const std::wstring path = Path(L"held.md5");
    ASSERT_TRUE(PutFile(path, "old"));
    {
        const ScopedHandle reader(OpenOther(path, GENERIC_READ, FILE_SHARE_READ));
        ASSERT_TRUE(reader.valid());
        TesselFile file(U(path));
        ASSERT_TRUE(file.Write("new", 3));
        EXPECT_FALSE(file.Commit()) << "another process has the old file open";
    }
    EXPECT_EQ(ReadWholeFile(path), "old");
    EXPECT_EQ(Names(), std::vector<std::wstring>{L"held.md5"}) << "the failed file is removed";
}

TEST_F(TesselFileWin32Test, ReadingSwitchesToWritingAndBack) {
    const std::wstring path = Path(L"a.txt");
    ASSERT_TRUE(PutFile(path, "0123456789"));
    TesselFile file(U(path));
    ASSERT_TRUE(file.OpenRead());
    char buffer[32] = {};
    std::uint32_t count = 99;
    ASSERT_TRUE(file.Read(buffer, 32, &count));
    EXPECT_EQ(count, 10u);
    ASSERT_TRUE(file.Read(buffer, 32, &count));
    EXPECT_EQ(count, 0u);
    ASSERT_TRUE(file.Write("xy", 2));  // closes the reader
    ASSERT_TRUE(file.Commit());
    EXPECT_EQ(file.Size(), 2u);  // and back to reading
    std::vector<std::uint8_t> all{1, 2, 3};
    ASSERT_TRUE(file.ReadAll(all));
    EXPECT_EQ(std::string(all.begin(), all.end()), "xy");
}

TEST_F(TesselFileWin32Test, ZeroByteWritesCreateAndMissingFilesFail) {
    const std::wstring created = Path(L"empty.txt");
    TesselFile file(U(created));
    EXPECT_TRUE(file.Write("", 0));
    EXPECT_TRUE(file.Commit());
    EXPECT_EQ(ReadWholeFile(created), "");

    TesselFile missing(U(Path(L"missing.txt")));
    std::vector<std::uint8_t> untouched{7};
    EXPECT_FALSE(missing.ReadAll(untouched));
    EXPECT_EQ(untouched, std::vector<std::uint8_t>{7});
    EXPECT_EQ(missing.Size(), 0u);
    EXPECT_FALSE(TesselFile(U(Path(L"no such folder\\x.txt"))).Write("a", 1));
}

TEST_F(TesselFileWin32Test, SizeIsSixtyFourBits) {
    const std::wstring path = Path(L"large.bin");
    {
        const ScopedHandle handle(
            ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(handle.valid());
        LARGE_INTEGER size{};
        size.QuadPart = (1LL << 32) + 5;
        ASSERT_TRUE(::SetFilePointerEx(handle.get(), size, nullptr, FILE_BEGIN));
        if (!::SetEndOfFile(handle.get())) GTEST_SKIP() << "this file system cannot hold a 4 GiB file";
    }
    TesselFile file(U(path));
    EXPECT_EQ(file.Size(), (1ULL << 32) + 5);
}

TEST_F(TesselFileWin32Test, ReaderSharesReadingOnlyWriterSharesNothing) {
    const std::wstring path = Path(L"shared.txt");
    ASSERT_TRUE(PutFile(path, "data"));
    {
        TesselFile reader(U(path));
        ASSERT_TRUE(reader.OpenRead());
        const ScopedHandle otherReader(OpenOther(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE));
        EXPECT_TRUE(otherReader.valid()) << "readers may read alongside";
        const ScopedHandle otherWriter(OpenOther(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE));
        EXPECT_FALSE(otherWriter.valid()) << "nobody may write while it is read";
    }
    {
        TesselFile writer(U(path));
        ASSERT_TRUE(writer.Append("!", 1));
        const ScopedHandle otherReader(
            OpenOther(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE));
        EXPECT_FALSE(otherReader.valid()) << "nobody may even read while it is written";
    }
    EXPECT_EQ(ReadWholeFile(path), "data!");
}

TEST_F(TesselFileWin32Test, FileExistsOnlyForWhatCanBeReadNow) {
    const std::wstring file = Path(L"present.txt");
    ASSERT_TRUE(PutFile(file, "x"));
    EXPECT_TRUE(FileExists(U(file).c_str()));
    EXPECT_FALSE(FileExists(U(Path(L"absent.txt")).c_str()));
    EXPECT_FALSE(FileExists(U(dir_.path()).c_str())) << "a folder";
    const ScopedHandle writer(OpenOther(file, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE));
    ASSERT_TRUE(writer.valid());
    EXPECT_FALSE(FileExists(U(file).c_str())) << "held open for writing elsewhere";
}

TEST_F(TesselFileWin32Test, RemoveAndDeleteClearReadOnlyHiddenAndSystem) {
    struct Case {
        const wchar_t* name;
        DWORD attributes;
    };
    for (const Case& c : {Case{L"ro.txt", FILE_ATTRIBUTE_READONLY},
                          Case{L"hidden.txt", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM}}) {
        const std::wstring path = Path(c.name);
        ASSERT_TRUE(PutFile(path, "x"));
        ASSERT_TRUE(::SetFileAttributesW(path.c_str(), c.attributes));
        EXPECT_TRUE(RemoveFile(U(path).c_str())) << ::testing::PrintToString(std::wstring(c.name));
        EXPECT_FALSE(win32_test::Exists(path));
    }
    const std::wstring path = Path(L"delete-me.txt");
    ASSERT_TRUE(PutFile(path, "x"));
    ASSERT_TRUE(::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
    TesselFile file(U(path));
    ASSERT_TRUE(file.OpenRead());
    EXPECT_TRUE(file.Delete()) << "Delete closes its own handle first";
    EXPECT_FALSE(win32_test::Exists(path));
    EXPECT_FALSE(file.Delete());

    const std::wstring folder = Path(L"folder");
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    EXPECT_FALSE(RemoveFile(U(folder).c_str())) << "a folder is no file to remove";
    EXPECT_EQ(::GetFileAttributesW(folder.c_str()), DWORD{FILE_ATTRIBUTE_DIRECTORY});
}

TEST_F(TesselFileWin32Test, SetPathClosesTheOldFile) {
    const std::wstring first = Path(L"first.txt");
    const std::wstring second = Path(L"second.txt");
    TesselFile file(U(first));
    ASSERT_TRUE(file.Append("1", 1));
    const std::u16string next = U(second);
    file.SetPath(next.c_str());
    EXPECT_FALSE(win32_test::Exists(second)) << "nothing is written before the next operation";
    const ScopedHandle reader(OpenOther(first, GENERIC_READ, FILE_SHARE_READ));
    EXPECT_TRUE(reader.valid()) << "the old file is closed";
    ASSERT_TRUE(file.Write("2", 1));
    ASSERT_TRUE(file.Commit());
    EXPECT_EQ(ReadWholeFile(second), "2");
}

TEST_F(TesselFileWin32Test, DefaultPathIsFilenameTxtInTheCurrentFolder) {
    wchar_t old[4096] = {};
    ::GetCurrentDirectoryW(4096, old);
    ASSERT_TRUE(::SetCurrentDirectoryW(dir_.path().c_str()));
    {
        TesselFile file;
        EXPECT_TRUE(file.Write("z", 1));
        EXPECT_TRUE(file.Commit());
    }
    {
        // A null path given later means the same file.
        TesselFile file(U(Path(L"other.txt")));
        file.SetPath(nullptr);
        EXPECT_TRUE(file.Append("y", 1));
    }
    ::SetCurrentDirectoryW(old);
    EXPECT_EQ(ReadWholeFile(Path(L"filename.txt")), "zy");
    EXPECT_FALSE(win32_test::Exists(Path(L"other.txt")));
}

// What each mode opens, and which failures count as a missing path.
TEST_F(TesselFileWin32Test, FileHandleOpensRegularFilesAndTellsMissingFromUnopenable) {
    ASSERT_TRUE(PutFile(Path(L"file.txt"), "data"));
    ASSERT_TRUE(PutFile(Path(L"held.txt"), "held"));
    ASSERT_TRUE(::CreateDirectoryW(Path(L"folder").c_str(), nullptr));
    const ScopedHandle writer(OpenOther(Path(L"held.txt"), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE));
    ASSERT_TRUE(writer.valid());
    struct Case {
        const wchar_t* name;
        FileHandle::Mode mode;
        bool opens;
        bool missing;
    };
    using Mode = FileHandle::Mode;
    for (const Case& c : {
             Case{L"file.txt", Mode::Read, true, false}, Case{L"file.txt", Mode::ReadNoLink, true, false},
             Case{L"absent.txt", Mode::Read, false, true},
             Case{L"no folder\\absent.txt", Mode::ReadNoLink, false, true}, Case{L"folder", Mode::Read, false, false},
             Case{L"folder", Mode::Append, false, false}, Case{L"held.txt", Mode::Read, false, false},
             Case{L"file.txt", Mode::CreateNew, false, false}, Case{L"new.txt", Mode::CreateNew, true, false},
             Case{L"no folder\\new.txt", Mode::CreateNew, false, true},
             Case{L"appended.txt", Mode::Append, true, false},
             // Writing waits while another program holds the file: see below.
         }) {
        FileHandle handle;
        EXPECT_EQ(handle.Open(U(Path(c.name)), c.mode), c.opens) << ::testing::PrintToString(std::wstring(c.name));
        EXPECT_EQ(handle.NotFound(), c.missing) << ::testing::PrintToString(std::wstring(c.name));
        EXPECT_EQ(handle.IsOpen(), c.opens);
        EXPECT_TRUE(handle.Close());
    }
    EXPECT_EQ(ReadWholeFile(Path(L"file.txt")), "data") << "CreateNew leaves an existing file alone";
}

TEST_F(TesselFileWin32Test, FileHandleAppendsAtTheEndAndANewFileSharesOnlyDeleting) {
    const std::wstring path = Path(L"log.txt");
    ASSERT_TRUE(PutFile(path, "ab"));
    FileHandle handle;
    ASSERT_TRUE(handle.Open(U(path), FileHandle::Mode::Append));
    std::uint32_t written = 0;
    ASSERT_TRUE(handle.Write("cd", 2, &written));
    EXPECT_TRUE(handle.Flush());
    EXPECT_TRUE(handle.Close());
    EXPECT_EQ(ReadWholeFile(path), "abcd");

    const std::wstring fresh = Path(L"fresh.txt");
    ASSERT_TRUE(handle.Open(U(fresh), FileHandle::Mode::CreateNew));
    EXPECT_FALSE(ScopedHandle(OpenOther(fresh, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE)).valid())
        << "nobody reads a file while it is made";
    // What the interrupt handling does to an unfinished file.
    EXPECT_TRUE(RemoveFile(U(fresh).c_str()));
    EXPECT_TRUE(handle.Close());
    EXPECT_FALSE(win32_test::Exists(fresh));
}

// Another program (a virus scanner, an indexer, a viewer) that holds a file
// for a moment makes a write, the check of an old log or a removal wait
// until it lets go, for a few seconds at most; a file that is only read is
// reported at once.
TEST_F(TesselFileWin32Test, OpensForWritingWaitWhileAnotherProgramHoldsTheFile) {
    using Mode = FileHandle::Mode;
    const std::wstring path = Path(L"log.txt");
    ASSERT_TRUE(PutFile(path, "old"));
    // Held as a scanner holds it: reading, sharing reading only.
    const auto holdFor = [&](DWORD milliseconds) {
        HANDLE held = OpenOther(path, GENERIC_READ, FILE_SHARE_READ);
        EXPECT_NE(held, INVALID_HANDLE_VALUE);
        return std::thread([held, milliseconds] {
            ::Sleep(milliseconds);
            ::CloseHandle(held);
        });
    };
    const auto timed = [](const std::function<bool()>& open, ULONGLONG* elapsed) {
        const ULONGLONG start = ::GetTickCount64();
        const bool opened = open();
        *elapsed = ::GetTickCount64() - start;
        return opened;
    };
    ULONGLONG elapsed = 0;
    {
        std::thread holder = holdFor(400);
        FileHandle handle;
        EXPECT_TRUE(timed([&] { return handle.Open(U(path), Mode::Append); }, &elapsed));
        EXPECT_GE(elapsed, 300u) << "opened while it was held";
        holder.join();
    }
    {
        std::thread holder = holdFor(400);
        EXPECT_TRUE(timed([&] { return RemoveFile(U(path).c_str()); }, &elapsed));
        EXPECT_GE(elapsed, 300u);
        EXPECT_FALSE(win32_test::Exists(path));
        holder.join();
    }
    ASSERT_TRUE(PutFile(path, "old"));
    {
        // A logger or editor that writes it, sharing both.
        const ScopedHandle writer(OpenOther(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE));
        ASSERT_TRUE(writer.valid());
        FileHandle handle;
        EXPECT_TRUE(timed([&] { return handle.Open(U(path), Mode::ReadOldLog); }, &elapsed))
            << "an old log is read whoever writes it";
        EXPECT_LT(elapsed, 1000u);
        EXPECT_FALSE(timed([&] { return handle.Open(U(path), Mode::Read); }, &elapsed));
        EXPECT_LT(elapsed, 1000u) << "a file that is only read is not waited for";
        EXPECT_FALSE(handle.NotFound());
        // Held past the wait: the open fails, as a file in use, not a missing one.
        EXPECT_FALSE(timed([&] { return handle.Open(U(path), Mode::Append); }, &elapsed));
        EXPECT_FALSE(handle.NotFound());
        EXPECT_GE(elapsed, 5000u);
        EXPECT_LT(elapsed, 15000u);
    }
    EXPECT_EQ(ReadWholeFile(path), "old");
}

TEST_F(TesselFileWin32Test, RenameInAFolderReplacesTheTarget) {
    const std::wstring from = Path(L"new.tmp");
    const std::wstring to = Path(L"summary.md5");
    ASSERT_TRUE(PutFile(from, "new"));
    ASSERT_TRUE(PutFile(to, "old"));
    const std::shared_ptr<TesselLibrary::Folder> folder = TesselLibrary::Folder::Open(U(Path(L"")));
    ASSERT_NE(folder, nullptr);
    EXPECT_TRUE(folder->Rename(u"new.tmp", u"summary.md5"));
    EXPECT_EQ(ReadWholeFile(to), "new");
    EXPECT_FALSE(win32_test::Exists(from));
    EXPECT_FALSE(folder->Rename(u"new.tmp", u"summary.md5")) << "nothing left to move";
}

}  // namespace

#endif  // _WIN32
