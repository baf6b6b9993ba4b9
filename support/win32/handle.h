// Win32 backend, private: one kernel handle (file, mapping, thread) closed
// by its owner. Null and INVALID_HANDLE_VALUE both mean "none", since the
// API returns one or the other depending on the call.
#pragma once

#include <windows.h>

#include <utility>

namespace TesselLibrary::Win32 {

class Handle {
public:
    Handle() = default;
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() { reset(); }
    Handle(Handle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    Handle& operator=(Handle&& other) noexcept {
        if (this != &other) reset(std::exchange(other.handle_, nullptr));
        return *this;
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    static bool Valid(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }

    HANDLE get() const { return handle_; }
    explicit operator bool() const { return Valid(handle_); }
    // Gives the handle up to the caller, who closes it from then on.
    HANDLE release() { return std::exchange(handle_, nullptr); }
    void reset(HANDLE handle = nullptr) {
        if (Valid(handle_)) ::CloseHandle(handle_);
        handle_ = handle;
    }

private:
    HANDLE handle_ = nullptr;
};

}  // namespace TesselLibrary::Win32
