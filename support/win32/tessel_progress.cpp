// TesselProgress on Windows: the modal dialog 20300 on the main thread, the
// job on a worker thread started by the dialog's first timer tick, and
// synchronous window messages from the worker to the dialog. The main thread
// alone holds the worker's handle and waits for the worker before Run
// returns; an exception on the worker ends the dialog as failed and is
// rethrown from Run. Cancel, Escape and the window's close command stop the
// run as Ctrl+C in the console does.
#include <windows.h>
#include <commctrl.h>

#include <exception>
#include <string>
#include <utility>

#include "handle.h"
#include "interrupt.h"
#include "path.h"
#include "progress_text.h"
#include "tessel_progress.h"
#include "thread_start.h"
#include "wide.h"
#include "window_centering.h"

namespace TesselLibrary {

namespace {

constexpr WORD kDialogId = 20300;
constexpr int kStatusId = 20301;
constexpr int kTitleId = 20302;
constexpr int kBarId = 20304;
constexpr int kSecondBarId = 20305;  // in the template, never shown
constexpr UINT_PTR kStartTimerId = 20900;
constexpr UINT kStartDelayMs = 25;
constexpr SIZE_T kWorkerStackBytes = 0x20000;

constexpr UINT WM_PROGRESS_SETPOS = WM_USER + 1;
constexpr UINT WM_PROGRESS_END_FAILED = WM_USER + 3;
constexpr UINT WM_PROGRESS_END_OK = WM_USER + 4;

}  // namespace

struct TesselProgressData {
    const char16_t* title = nullptr;
    HWND dialog = nullptr;
    void* jobArgument = nullptr;
    ProgressJob job = nullptr;
    Win32::Handle thread;  // the main thread's alone
    // The worker's alone while it runs; the main thread reads them once it
    // has waited for the worker.
    bool ended = false;  // the dialog was told to end: nothing more is sent
    std::exception_ptr jobError;
};

namespace {

// Ends the dialog with the job's verdict, once.
void EndJobOf(TesselProgressData& data, bool failed) {
    if (data.ended || !data.dialog) return;
    data.ended = true;
    ::SendMessageW(data.dialog, failed ? WM_PROGRESS_END_FAILED : WM_PROGRESS_END_OK, 0, 0);
}

TesselProgressData* DataOf(HWND dialog) {
    return reinterpret_cast<TesselProgressData*>(::GetWindowLongPtrW(dialog, GWLP_USERDATA));
}

DWORD WINAPI WorkerStart(LPVOID record) {
    auto& data = *static_cast<TesselProgressData*>(record);
    DWORD result = 0;
    try {
        result = data.job(data.jobArgument);
    } catch (...) {
        data.jobError = std::current_exception();
    }
    // A job that threw, or forgot to end its run, must not leave the dialog
    // up; after a proper end this does nothing.
    EndJobOf(data, true);
    return result;
}

INT_PTR InitDialog(HWND dialog, TesselProgressData& data) {
    CenterWindow(dialog);
    ::SetWindowLongPtrW(dialog, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&data));
    data.dialog = dialog;
    // The program's jobs report one progress: the second bar stays hidden.
    ::ShowWindow(::GetDlgItem(dialog, kSecondBarId), SW_HIDE);
    ::ShowWindow(::GetDlgItem(dialog, IDCANCEL), SW_SHOW);
    ::EnableWindow(::GetDlgItem(dialog, IDCANCEL), TRUE);
    ::SetDlgItemTextW(dialog, kTitleId, Win32::Wide(data.title ? data.title : u""));
    // The template has no caption bar and no text: the window's own text
    // names the job on the taskbar and in Alt+Tab.
    ::SetWindowTextW(dialog, Win32::Wide(data.title ? data.title : u""));
    ::SendDlgItemMessageW(dialog, kBarId, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    if (!::SetTimer(dialog, kStartTimerId, kStartDelayMs, nullptr)) {
        // Without the timer no job would ever start or end the dialog.
        ::EndDialog(dialog, 0);
        return -1;
    }
    return TRUE;
}

void StartWorker(HWND dialog) {
    ::KillTimer(dialog, kStartTimerId);
    TesselProgressData* data = DataOf(dialog);
    if (!data) return;
    data->thread.reset(::CreateThread(nullptr, kWorkerStackBytes, WorkerStart, data, 0, nullptr));
    if (data->thread) return;
    const DWORD error = ::GetLastError();
    // Run says so, as it does for an exception of the job's.
    data->jobError = std::make_exception_ptr(
        ThreadNotStarted(u"the thread of \"" + std::u16string(data->title ? data->title : u"") + u"\"",
                         "system error " + std::to_string(error)));
    ::EndDialog(dialog, 0);
}

INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: return InitDialog(dialog, *reinterpret_cast<TesselProgressData*>(lParam));
        case WM_TIMER: StartWorker(dialog); return FALSE;
        // The Cancel button, Escape (which the dialog manager turns into
        // IDCANCEL) and the close command (WM_CLOSE, from the taskbar or
        // Alt+F4) stop the run where it stands: the job is not asked to finish,
        // so nothing half-done is written, and what it replaces stays as it was.
        case WM_COMMAND:
            if (LOWORD(wParam) == IDCANCEL) Win32::EndAsInterrupted();
            return FALSE;
        case WM_CLOSE: Win32::EndAsInterrupted();
        case WM_PROGRESS_SETPOS: ::SendDlgItemMessageW(dialog, kBarId, PBM_SETPOS, wParam, lParam); return FALSE;
        case WM_PROGRESS_END_FAILED: ::EndDialog(dialog, 0); return FALSE;
        case WM_PROGRESS_END_OK: ::EndDialog(dialog, 1); return FALSE;
        default: return FALSE;
    }
}

}  // namespace

TesselProgress::TesselProgress() : data_(std::make_unique<TesselProgressData>()) {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_PROGRESS_CLASS;
    ::InitCommonControlsEx(&controls);
}

// No worker outlives Run, so there is none to wait for here.
TesselProgress::~TesselProgress() = default;

bool TesselProgress::Run(const TesselAppWindows& frame, const char16_t* title, void* jobArgument, ProgressJob job) {
    TesselProgressData& data = *data_;
    data.job = job;
    data.jobArgument = jobArgument;
    data.title = title;
    data.ended = false;
    data.jobError = nullptr;
    const INT_PTR result =
        ::DialogBoxParamW(static_cast<HINSTANCE>(frame.module()), MAKEINTRESOURCEW(kDialogId),
                          static_cast<HWND>(frame.ownerWindow()), ProgressDialogProc, reinterpret_cast<LPARAM>(&data));
    // The dialog is gone, so a worker that still sends to it fails at once
    // instead of waiting: the wait cannot hang.
    if (data.thread) ::WaitForSingleObject(data.thread.get(), INFINITE);
    data.thread.reset();
    data.dialog = nullptr;
    // Memory exhaustion on the worker reaches the caller as it would have
    // on the main thread.
    if (data.jobError) std::rethrow_exception(std::exchange(data.jobError, nullptr));
    return result == 1;
}

void TesselProgress::SetPosition(std::uint32_t position) {
    if (data_->dialog && !data_->ended) ::SendMessageW(data_->dialog, WM_PROGRESS_SETPOS, position, 0);
}

namespace {

// A folder is shown without its final backslash, so that its own name is
// the end a long path keeps. A root ("C:\") keeps it.
std::u16string StatusText(const char16_t* text) {
    const std::u16string shown = text ? text : u"";
    if (shown.size() < 2 || !IsPathSeparator(shown.back())) return shown;
    const std::u16string folder = shown.substr(0, shown.size() - 1);
    return DirectoryOf(folder).empty() ? shown : folder;  // a root has no separator before its last
}

// The text as the status line `status` has room for it: a path too long
// keeps its end, the file's name and its folder, and loses its middle,
// measured in the line's own font.
std::u16string Fitted(HWND status, const std::u16string& text) {
    RECT area{};
    if (!status || !::GetClientRect(status, &area)) return text;
    const HDC dc = ::GetDC(status);
    if (!dc) return text;
    const HGDIOBJ before = ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(status, WM_GETFONT, 0, 0)));
    const auto fits = [&](const std::u16string& candidate) {
        SIZE size{};
        return ::GetTextExtentPoint32W(dc, Win32::Wide(candidate), static_cast<int>(candidate.size()), &size) &&
               size.cx <= area.right - area.left;
    };
    const std::u16string shown = PathWithMiddleCut(text, fits);
    ::SelectObject(dc, before);
    ::ReleaseDC(status, dc);
    return shown;
}

}  // namespace

void TesselProgress::SetStatus(const char16_t* text) {
    if (!data_->dialog || data_->ended) return;
    const HWND status = ::GetDlgItem(data_->dialog, kStatusId);
    ::SetDlgItemTextW(data_->dialog, kStatusId, Win32::Wide(Fitted(status, StatusText(text))));
}

void TesselProgress::EndJob(bool failed) { EndJobOf(*data_, failed); }

// The dialog has its bar and status line only; counts have no place there.
bool ProgressShowsCounts() { return false; }

void TesselProgress::SetCounts(const ProgressCounts&) {}

}  // namespace TesselLibrary
