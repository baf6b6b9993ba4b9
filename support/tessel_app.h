// The application frame: module handle, string table, owner window, and the
// message boxes it shows.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace TesselLibrary {

using ModuleHandle = void*;
using WindowHandle = void*;

struct TesselAppData {
    ModuleHandle module = nullptr;
    WindowHandle ownerWindow = nullptr;
};

class TesselApp {
public:
    virtual ~TesselApp() = 0;

    ModuleHandle module() const { return data_->module; }
    WindowHandle ownerWindow() const { return data_->ownerWindow; }

    // Null-terminated text of string-table entry `id`, valid for the life of
    // the process; "" when the entry is absent or empty. Never allocates.
    const char16_t* ResourceString(std::uint32_t id) const;

protected:
    TesselApp();
    TesselApp(const TesselApp&) = delete;
    TesselApp& operator=(const TesselApp&) = delete;

    std::unique_ptr<TesselAppData> data_;
};

class TesselAppWindows : public TesselApp {
public:
    TesselAppWindows();
    ~TesselAppWindows() override;

    // An information box with an OK button; returns when it is closed.
    void ShowMessage(const char16_t* caption, const char16_t* text) const;
    // The same with an error icon.
    void ShowError(const char16_t* caption, const char16_t* text) const;
};

}  // namespace TesselLibrary
