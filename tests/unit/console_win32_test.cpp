// Standard output, standard error and the command line on the Win32 backend.
#ifdef _WIN32

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "console.h"
#include "win32_test_support.h"

namespace {

using TesselLibrary::WriteConsoleText;

TEST(ConsoleWin32Test, TheCommandLineIsTheSystemsWholeLine) {
    EXPECT_EQ(win32_test::W(TesselLibrary::ProcessCommandLine()), std::wstring(::GetCommandLineW()));
    EXPECT_FALSE(TesselLibrary::SplitProcessArguments().has_value()) << "Windows hands over one line";
}

// Standard output or standard error replaced by a pipe for a scope.
class RedirectedOutput {
public:
    explicit RedirectedOutput(DWORD which = STD_OUTPUT_HANDLE) : which_(which) {
        SECURITY_ATTRIBUTES security{sizeof security, nullptr, FALSE};
        ok_ = ::CreatePipe(&read_, &write_, &security, 1 << 16) != 0;
        old_ = ::GetStdHandle(which_);
        if (ok_) ::SetStdHandle(which_, write_);
    }
    ~RedirectedOutput() {
        ::SetStdHandle(which_, old_);
        if (ok_) {
            ::CloseHandle(read_);
            ::CloseHandle(write_);
        }
    }
    RedirectedOutput(const RedirectedOutput&) = delete;
    RedirectedOutput& operator=(const RedirectedOutput&) = delete;

    bool ok() const { return ok_; }
    std::string Take() {
        ::SetStdHandle(which_, old_);
        DWORD available = 0;
        std::string bytes;
        if (::PeekNamedPipe(read_, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
            bytes.resize(available);
            DWORD got = 0;
            ::ReadFile(read_, bytes.data(), available, &got, nullptr);
            bytes.resize(got);
        }
        return bytes;
    }

private:
    DWORD which_;
    bool ok_ = false;
    HANDLE read_ = nullptr;
    HANDLE write_ = nullptr;
    HANDLE old_ = nullptr;
};

TEST(ConsoleWin32Test, RedirectedOutputGetsTheTextsBytes) {
    RedirectedOutput output;
    ASSERT_TRUE(output.ok());
    WriteConsoleText(u"Sumvane v1.3.1.1\r\n\u00e9");
    EXPECT_EQ(output.Take(), "Sumvane v1.3.1.1\r\n\xc3\xa9");
}

TEST(ConsoleWin32Test, RedirectedErrorsGetTheTextsBytesAndNothingGoesToOutput) {
    RedirectedOutput output;
    RedirectedOutput errors(STD_ERROR_HANDLE);
    ASSERT_TRUE(output.ok() && errors.ok());
    TesselLibrary::WriteErrorText(u"Z:\\a.txt - Error computing MD5\r\n\u00e9");
    EXPECT_EQ(errors.Take(), "Z:\\a.txt - Error computing MD5\r\n\xc3\xa9");
    EXPECT_EQ(output.Take(), "");
}

}  // namespace

#endif  // _WIN32
