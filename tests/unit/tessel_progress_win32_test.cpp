// TesselProgress on Windows: a real modal dialog (under Wine it needs an X
// display) whose worker reads the dialog back from its own thread, through
// the same window calls a user's screen reader would use.
#ifdef _WIN32

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "console.h"
#include "tessel_app.h"
#include "tessel_progress.h"

namespace {

using TesselLibrary::TesselAppWindows;
using TesselLibrary::TesselProgress;

constexpr int kStatusId = 20301;
constexpr int kTitleId = 20302;
constexpr int kWaitId = 20303;
constexpr int kBarId = 20304;
constexpr int kSecondBarId = 20305;

struct Seen {
    HWND dialog = nullptr;
    std::wstring title;
    std::wstring wait;
    std::vector<int> positions;  // PBM_GETPOS after each SetPosition
    std::vector<std::wstring> statuses;
    bool cancelVisible = true;
    bool secondBarVisible = true;
    bool hasCaption = true;
    std::wstring windowText;
    std::vector<LONG> staticStyles;  // of the title, the wait text and the status line
    RECT rect{};
};

struct JobContext {
    TesselProgress* progress = nullptr;
    DWORD mainThread = 0;
    std::vector<std::uint32_t> positions;
    std::vector<const char16_t*> statuses;
    // A message that stops the run, sent to the dialog once the job is at
    // work: WM_COMMAND IDCANCEL (the Cancel button, or Escape through the
    // dialog manager) or WM_CLOSE (the close command).
    UINT stopWith = 0;
    bool fail = false;
    Seen seen;
};

std::wstring ItemText(HWND dialog, int id) {
    wchar_t buffer[512] = {};
    ::GetDlgItemTextW(dialog, id, buffer, 512);
    return buffer;
}

BOOL CALLBACK TakeDialog(HWND window, LPARAM found) {
    wchar_t className[64] = {};
    ::GetClassNameW(window, className, 64);
    if (std::wstring(className) == L"#32770" && ::IsWindowVisible(window)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

// The progress dialog is the main thread's visible dialog window.
HWND FindProgressDialog(DWORD mainThread) {
    HWND found = nullptr;
    ::EnumThreadWindows(mainThread, TakeDialog, reinterpret_cast<LPARAM>(&found));
    return found;
}

std::uint32_t TESSEL_STDCALL ReadBackJob(void* argument) {
    auto& context = *static_cast<JobContext*>(argument);
    Seen& seen = context.seen;
    // The first call waits until the dialog serves messages.
    context.progress->SetPosition(0);
    seen.dialog = FindProgressDialog(context.mainThread);
    if (seen.dialog) {
        seen.title = ItemText(seen.dialog, kTitleId);
        seen.cancelVisible = ::IsWindowVisible(::GetDlgItem(seen.dialog, IDCANCEL)) != FALSE;
        seen.secondBarVisible = ::IsWindowVisible(::GetDlgItem(seen.dialog, kSecondBarId)) != FALSE;
        seen.hasCaption = (::GetWindowLongW(seen.dialog, GWL_STYLE) & WS_CAPTION) == WS_CAPTION;
        wchar_t text[256] = {};
        ::GetWindowTextW(seen.dialog, text, 256);
        seen.windowText = text;
        for (const int id : {kTitleId, kWaitId, kStatusId})
            seen.staticStyles.push_back(::GetWindowLongW(::GetDlgItem(seen.dialog, id), GWL_STYLE));
        ::GetWindowRect(seen.dialog, &seen.rect);
        for (const std::uint32_t position : context.positions) {
            context.progress->SetPosition(position);
            seen.positions.push_back(static_cast<int>(::SendDlgItemMessageW(seen.dialog, kBarId, PBM_GETPOS, 0, 0)));
        }
        for (const char16_t* status : context.statuses) {
            context.progress->SetStatus(status);
            seen.statuses.push_back(ItemText(seen.dialog, kStatusId));
        }
        seen.wait = ItemText(seen.dialog, kWaitId);
        if (context.stopWith == WM_COMMAND)
            ::SendMessageW(seen.dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        if (context.stopWith == WM_CLOSE) ::SendMessageW(seen.dialog, WM_CLOSE, 0, 0);
    }
    context.progress->EndJob(context.fail);
    return 0;
}

class TesselProgressWin32Test : public ::testing::Test {
protected:
    JobContext Context() {
        JobContext context;
        context.progress = &progress_;
        context.mainThread = ::GetCurrentThreadId();
        return context;
    }

    TesselAppWindows frame_;
    TesselProgress progress_;
};

TEST_F(TesselProgressWin32Test, WorkerReadsTitleBarAndStatusBackFromTheDialog) {
    JobContext context = Context();
    context.positions = {0, 5, 15, 20, 40, 60, 80, 100};
    // A folder is shown without its final backslash, so that a path too
    // long for the line keeps its last folder's name; a root keeps it.
    context.statuses = {u"C:\\Data\\R&D Lab\\", u"C:\\", u"\\\\server\\share\\", u"C:\\Data\\a.txt", u""};
    ASSERT_TRUE(progress_.Run(frame_, u"Building MD5 Archive File", &context, ReadBackJob));

    const Seen& seen = context.seen;
    ASSERT_NE(seen.dialog, nullptr) << "the worker found no visible dialog";
    EXPECT_EQ(seen.title, L"Building MD5 Archive File");
    EXPECT_EQ(seen.positions, (std::vector<int>{0, 5, 15, 20, 40, 60, 80, 100}));
    EXPECT_EQ(seen.statuses, (std::vector<std::wstring>{L"C:\\Data\\R&D Lab", L"C:\\", L"\\\\server\\share",
                                                        L"C:\\Data\\a.txt", L""}));
    EXPECT_EQ(seen.wait, L"Please wait ...");
    EXPECT_TRUE(seen.cancelVisible) << "the Cancel button stops the run";
    EXPECT_FALSE(seen.secondBarVisible);
    EXPECT_FALSE(seen.hasCaption) << "the dialog has no caption bar";
    EXPECT_EQ(seen.windowText, L"Building MD5 Archive File") << "what the taskbar and Alt+Tab show";
    // An "&" in a path is shown as it is; a long status path keeps its end.
    ASSERT_EQ(seen.staticStyles.size(), 3u);
    for (const LONG style : seen.staticStyles) EXPECT_TRUE(style & SS_NOPREFIX) << std::hex << style;
    EXPECT_EQ(seen.staticStyles[2] & SS_ELLIPSISMASK, SS_PATHELLIPSIS);
    EXPECT_EQ(seen.staticStyles[2] & SS_TYPEMASK, SS_CENTER);
    EXPECT_FALSE(::IsWindow(seen.dialog)) << "the dialog is gone once Run returns";
}

TEST_F(TesselProgressWin32Test, DialogIsCentredOnTheScreen) {
    JobContext context = Context();
    ASSERT_TRUE(progress_.Run(frame_, u"Centred", &context, ReadBackJob));
    const RECT& rect = context.seen.rect;
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    ASSERT_GT(width, 0);
    RECT work{};
    ASSERT_TRUE(::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0));
    const int screenWidth = ::GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = ::GetSystemMetrics(SM_CYSCREEN);
    EXPECT_EQ(rect.left, std::max(0, (screenWidth - width) / 2));
    EXPECT_EQ(rect.top, std::max(0, (screenHeight - height) / 2));
}

TEST_F(TesselProgressWin32Test, PositionsOutsideTheRangeAreClampedByTheBar) {
    JobContext context = Context();
    context.positions = {150, 100, 0};
    ASSERT_TRUE(progress_.Run(frame_, u"Clamp", &context, ReadBackJob));
    EXPECT_EQ(context.seen.positions, (std::vector<int>{100, 100, 0}));
}

TEST_F(TesselProgressWin32Test, RunReturnsTheJobsVerdict) {
    struct Case {
        bool fail;
        bool expected;
    };
    for (const Case& c : {Case{false, true}, Case{true, false}}) {
        JobContext context = Context();
        context.fail = c.fail;
        EXPECT_EQ(progress_.Run(frame_, u"Verdict", &context, ReadBackJob), c.expected) << "EndJob(" << c.fail << ")";
    }
}

TEST_F(TesselProgressWin32Test, ASecondRunOnTheSameObjectShowsItsOwnTitle) {
    JobContext first = Context();
    ASSERT_TRUE(progress_.Run(frame_, u"Building MD5 Archive File", &first, ReadBackJob));
    JobContext second = Context();
    second.fail = true;
    EXPECT_FALSE(progress_.Run(frame_, u"Checking MD5 Archive File", &second, ReadBackJob));

    EXPECT_EQ(first.seen.title, L"Building MD5 Archive File");
    EXPECT_EQ(second.seen.title, L"Checking MD5 Archive File");
    ASSERT_NE(second.seen.dialog, nullptr);
    EXPECT_NE(first.seen.dialog, second.seen.dialog) << "each run shows a fresh dialog";
}

// Cancel (and Escape, which the dialog manager turns into the same command)
// and the close command end the process as Ctrl+C does: the interrupt
// notice on standard error, exit code 1, the job never let finish.
TEST_F(TesselProgressWin32Test, CancelAndTheCloseCommandEndTheRunAsInterrupted) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (const UINT message : {UINT{WM_COMMAND}, UINT{WM_CLOSE}}) {
        SCOPED_TRACE(message == WM_COMMAND ? "IDCANCEL" : "WM_CLOSE");
        EXPECT_EXIT(
            {
                const TesselLibrary::InterruptNoticeScope notice(u"test: interrupted");
                JobContext context = Context();
                context.stopWith = message;
                progress_.Run(frame_, u"Stopped", &context, ReadBackJob);
                std::_Exit(7);  // not reached: the run ends in the dialog
            },
            ::testing::ExitedWithCode(1), "test: interrupted");
    }
}

TEST_F(TesselProgressWin32Test, SetPositionAndSetStatusWithoutADialogDoNothing) {
    TesselProgress idle;  // never ran: no dialog to talk to
    idle.SetPosition(50);
    idle.SetStatus(u"nowhere");
    idle.EndJob(false);
    JobContext context = Context();
    context.progress = &idle;
    context.positions = {7};
    ASSERT_TRUE(idle.Run(frame_, u"After idle calls", &context, ReadBackJob));
    EXPECT_EQ(context.seen.positions, (std::vector<int>{7}));
}

struct EndingContext {
    TesselProgress* progress = nullptr;
    enum class Ending { Throw, NoEndJob, WorkAfterEndJob } ending = Ending::Throw;
    bool finished = false;  // set by the worker as its very last step
};

std::uint32_t TESSEL_STDCALL EndingJob(void* argument) {
    auto& context = *static_cast<EndingContext*>(argument);
    context.progress->SetPosition(0);
    switch (context.ending) {
        case EndingContext::Ending::Throw: throw std::bad_alloc();
        case EndingContext::Ending::NoEndJob: break;
        case EndingContext::Ending::WorkAfterEndJob:
            context.progress->EndJob(false);
            ::Sleep(300);                       // its own clean-up, after the dialog has gone
            context.progress->SetPosition(99);  // nothing to send to any more
            break;
    }
    context.finished = true;
    return 0;
}

TEST_F(TesselProgressWin32Test, AnExceptionOnTheWorkerIsRethrownFromRun) {
    EndingContext context{&progress_, EndingContext::Ending::Throw};
    EXPECT_THROW(progress_.Run(frame_, u"Throws", &context, EndingJob), std::bad_alloc);
    // The object stays usable.
    JobContext next = Context();
    EXPECT_TRUE(progress_.Run(frame_, u"After the exception", &next, ReadBackJob));
}

TEST_F(TesselProgressWin32Test, RunWaitsForTheWorkerAndEndsAJobThatNeverEndedItsRun) {
    EndingContext late{&progress_, EndingContext::Ending::WorkAfterEndJob};
    EXPECT_TRUE(progress_.Run(frame_, u"Late", &late, EndingJob));
    EXPECT_TRUE(late.finished) << "Run returned before the worker was done";
    EndingContext silent{&progress_, EndingContext::Ending::NoEndJob};
    EXPECT_FALSE(progress_.Run(frame_, u"Silent", &silent, EndingJob));
    EXPECT_TRUE(silent.finished);
}

}  // namespace

#endif  // _WIN32
