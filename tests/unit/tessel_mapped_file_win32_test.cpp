// TesselMappedFile on the Win32 backend: mapping states, windows at chosen
// offsets (also past 4 GiB), the bytes read in pieces, and files that cannot
// be opened.
#ifdef _WIN32

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tessel_mapped_file.h"
#include "win32_test_support.h"

namespace {

using TesselLibrary::TesselMappedFile;
using win32_test::PutFile;
using win32_test::ScopedHandle;
using win32_test::U;

std::string Bytes(const TesselMappedFile& file, std::uint32_t length) {
    std::string seen;
    const bool used = file.ReadView(length, [&](const std::uint8_t* bytes, std::uint32_t n) {
        seen.append(reinterpret_cast<const char*>(bytes), n);
        return true;
    });
    return used ? seen : "<no view>";
}

DWORD Granularity() {
    SYSTEM_INFO info{};
    ::GetSystemInfo(&info);
    return info.dwAllocationGranularity;
}

class TesselMappedFileWin32Test : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(dir_.path().empty()); }
    win32_test::TempDir dir_;
};

TEST_F(TesselMappedFileWin32Test, WholeFileViewThenWindows) {
    const DWORD step = Granularity();
    std::string contents(step * 3, '\0');
    for (std::size_t i = 0; i < contents.size(); ++i) contents[i] = static_cast<char>('a' + i / step);
    const std::wstring path = dir_ / L"three.bin";
    ASSERT_TRUE(PutFile(path, contents));

    TesselMappedFile file(U(path).c_str());
    ASSERT_NE(file.view(), nullptr);
    EXPECT_EQ(file.Size(), contents.size());
    EXPECT_EQ(Bytes(file, static_cast<std::uint32_t>(contents.size())), contents);
    for (DWORD part = 0; part < 3; ++part) {
        file.MapWindow(static_cast<std::uint64_t>(part) * step, step);
        EXPECT_EQ(Bytes(file, step), std::string(step, static_cast<char>('a' + part))) << part;
    }
    file.MapWindow(1, step);  // not on the allocation granularity: fails
    EXPECT_EQ(file.view(), nullptr);
    EXPECT_EQ(Bytes(file, 1), "<no view>");
    file.MapWindow(step, 10);  // a valid window maps again
    EXPECT_EQ(Bytes(file, 10), std::string(10, 'b'));
}

TEST_F(TesselMappedFileWin32Test, AViewLargerThanOneReadComesInOrderAndStopsWhenRefused) {
    std::string contents((5u << 20) / 2 + 3, '\0');  // 2.5 MiB and 3 bytes: several pieces
    for (std::size_t i = 0; i < contents.size(); ++i) contents[i] = static_cast<char>(i * 7 / 5);
    const std::wstring path = dir_ / L"large.bin";
    ASSERT_TRUE(PutFile(path, contents));
    TesselMappedFile file(U(path).c_str());
    const auto length = static_cast<std::uint32_t>(contents.size());
    EXPECT_EQ(Bytes(file, length), contents);
    int calls = 0;
    EXPECT_FALSE(file.ReadView(length, [&](const std::uint8_t*, std::uint32_t) {
        ++calls;
        return false;
    }));
    EXPECT_EQ(calls, 1) << "no more pieces once refused";
    EXPECT_EQ(Bytes(file, length + 1), "<no view>") << "longer than the view";
}

TEST_F(TesselMappedFileWin32Test, ZeroLengthFileIsOpenWithoutAMapping) {
    const std::wstring path = dir_ / L"empty.bin";
    ASSERT_TRUE(PutFile(path, ""));
    TesselMappedFile file(U(path).c_str());
    EXPECT_TRUE(file.IsOpen());
    EXPECT_FALSE(file.NotFound());
    EXPECT_EQ(file.view(), nullptr);
    EXPECT_EQ(file.Size(), 0u);
    file.MapWindow(0, 0);
    EXPECT_EQ(file.view(), nullptr);
    // Still open for reading: a writer is shut out.
    const ScopedHandle writer(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_FALSE(writer.valid());
}

TEST_F(TesselMappedFileWin32Test, MissingFolderAndHeldForWritingAreNotOpen) {
    const std::wstring held = dir_ / L"held.bin";
    ASSERT_TRUE(PutFile(held, "busy"));
    const ScopedHandle writer(::CreateFileW(held.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(writer.valid());
    struct Case {
        std::wstring path;
        bool notFound;
    };
    for (const Case& c : {Case{dir_ / L"missing.bin", true}, Case{dir_ / L"missing\\file.bin", true},
                          Case{dir_.path(), false}, Case{held, false}}) {
        const std::wstring& path = c.path;
        TesselMappedFile file(U(path).c_str());
        EXPECT_FALSE(file.IsOpen()) << ::testing::PrintToString(path);
        EXPECT_EQ(file.NotFound(), c.notFound) << ::testing::PrintToString(path);
        EXPECT_EQ(file.view(), nullptr) << ::testing::PrintToString(path);
        EXPECT_EQ(file.Size(), 0u);
        file.MapWindow(0, 4);
        EXPECT_EQ(file.view(), nullptr);
    }
}

TEST_F(TesselMappedFileWin32Test, WindowPastFourGiB) {
    const std::wstring path = dir_ / L"sparse.bin";
    const std::uint64_t offset = (1ULL << 32) + Granularity();  // high half 1, low half non-zero
    {
        const ScopedHandle handle(
            ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(handle.valid());
        DWORD ignored = 0;
        ::DeviceIoControl(handle.get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
        LARGE_INTEGER at{};
        at.QuadPart = static_cast<LONGLONG>(offset);
        ASSERT_TRUE(::SetFilePointerEx(handle.get(), at, nullptr, FILE_BEGIN));
        DWORD written = 0;
        if (!::WriteFile(handle.get(), "tail", 4, &written, nullptr) || written != 4)
            GTEST_SKIP() << "this file system cannot hold a file past 4 GiB";
    }
    TesselMappedFile file(U(path).c_str());
    EXPECT_EQ(file.Size(), offset + 4);
    file.MapWindow(offset, 4);
    EXPECT_EQ(Bytes(file, 4), "tail");
    file.MapWindow(offset - Granularity(), Granularity());
    EXPECT_EQ(Bytes(file, Granularity()), std::string(Granularity(), '\0'));
}

}  // namespace

#endif  // _WIN32
