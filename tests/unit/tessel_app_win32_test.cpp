// The frame on Windows: the string table read from the RT_STRING blocks of
// the running module, the folder functions, paths past MAX_PATH, window
// centring, and the program's other resources (help, icon, dialog, version
// block).
#ifdef _WIN32

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "create_folders.h"
#include "folder.h"
#include "folders.h"
#include "help_file.h"
#include "remove_file.h"
#include "tessel_app.h"
#include "tessel_file.h"
#include "tessel_mapped_file.h"
#include "win32/long_path.h"
#include "win32/window_centering.h"
#include "win32_test_support.h"

namespace {

using namespace TesselLibrary;
using win32_test::U;
using win32_test::W;

struct StringCase {
    std::uint32_t id;
    const char16_t* text;
};

TEST(TesselAppWin32Test, StringsComeBackNullTerminatedFromTheResource) {
    const TesselAppWindows frame;
    const StringCase known[] = {
        {1000, u"Sumvane"},
        {1006, u" - File Not Found"},
        {1013, u" - Unable to Write to File"},
        {1016, u" - Replaced, but may not be on disk"},
    };
    for (const StringCase& c : known) {
        const char16_t* text = frame.ResourceString(c.id);
        ASSERT_NE(text, nullptr) << c.id;
        EXPECT_EQ(std::u16string(text), std::u16string(c.text)) << "id " << c.id;
        EXPECT_EQ(std::char_traits<char16_t>::length(text), std::char_traits<char16_t>::length(c.text))
            << "id " << c.id << " must end exactly where its text ends";
    }
}

TEST(TesselAppWin32Test, AbsentAndEmptyEntriesGiveTheEmptyString) {
    const TesselAppWindows frame;
    // 992..999 and 1022..1023 share the table's blocks; 5000 has no block;
    // the last ids need a block number no resource name can hold.
    for (const std::uint32_t id : {992u, 999u, 1022u, 1023u, 0u, 5000u, 1048575u, 0xFFFFFFFFu}) {
        const char16_t* text = frame.ResourceString(id);
        ASSERT_NE(text, nullptr) << id;
        EXPECT_EQ(text[0], u'\0') << "id " << id;
    }
}

TEST(TesselAppWin32Test, StringsPointIntoTheLoadedResourceNotACopy) {
    const TesselAppWindows frame;
    const char16_t* first = frame.ResourceString(1003);
    const char16_t* again = frame.ResourceString(1003);
    EXPECT_EQ(first, again);
    // The block of ids 992..1007 is resource 63 of the module's own image.
    const HMODULE module = ::GetModuleHandleW(nullptr);
    const HRSRC info = ::FindResourceW(module, MAKEINTRESOURCEW(1003 / 16 + 1), RT_STRING);
    ASSERT_NE(info, nullptr);
    const auto* block = static_cast<const char16_t*>(::LockResource(::LoadResource(module, info)));
    const DWORD bytes = ::SizeofResource(module, info);
    EXPECT_GE(first, block);
    EXPECT_LT(first, block + bytes / sizeof(char16_t));
    EXPECT_EQ(frame.module(), static_cast<void*>(module));
    EXPECT_EQ(frame.ownerWindow(), nullptr);
}

TEST(TesselAppWin32Test, StringsStayValidAfterTheFrameIsGone) {
    const char16_t* text = nullptr;
    {
        const TesselAppWindows frame;
        text = frame.ResourceString(1004);
    }
    EXPECT_EQ(std::u16string(text), u"Checking MD5 Archive File");
}

TEST(TesselAppWin32Test, ModuleFolderIsTheExecutablesFolderWithABackslash) {
    wchar_t path[MAX_PATH] = {};
    ASSERT_GT(::GetModuleFileNameW(nullptr, path, MAX_PATH), 0u);
    std::wstring expected = path;
    expected.erase(expected.rfind(L'\\') + 1);
    std::u16string out = u"old contents";
    const char16_t* result = ModuleFolder(out);
    EXPECT_EQ(W(out), expected);
    EXPECT_EQ(result, out.c_str());
}

class EnvironmentVariable {
public:
    EnvironmentVariable(const wchar_t* name, const wchar_t* value) : name_(name) {
        wchar_t old[4096] = {};
        const DWORD length = ::GetEnvironmentVariableW(name, old, 4096);
        if (length > 0 && length < 4096) old_ = old;
        ::SetEnvironmentVariableW(name, value);
    }
    ~EnvironmentVariable() { ::SetEnvironmentVariableW(name_.c_str(), old_.empty() ? nullptr : old_.c_str()); }
    EnvironmentVariable(const EnvironmentVariable&) = delete;
    EnvironmentVariable& operator=(const EnvironmentVariable&) = delete;

private:
    std::wstring name_;
    std::wstring old_;
};

TEST(TesselAppWin32Test, TempFolderEndsInExactlyOneBackslash) {
    struct Case {
        const wchar_t* tmp;
        const wchar_t* expected;
    };
    // GetTempPathW reads TMP first; it adds the backslash itself where missing.
    for (const Case& c :
         {Case{L"C:\\Sumvane Temp", L"C:\\Sumvane Temp\\"}, Case{L"C:\\Sumvane Temp\\", L"C:\\Sumvane Temp\\"}}) {
        const EnvironmentVariable tmp(L"TMP", c.tmp);
        std::u16string out;
        TempFolder(out);
        EXPECT_EQ(W(out), c.expected) << "TMP=" << ::testing::PrintToString(std::wstring(c.tmp));
    }
}

TEST(TesselAppWin32Test, TempFolderMatchesTheSystemsAnswer) {
    wchar_t expected[MAX_PATH + 1] = {};
    ASSERT_GT(::GetTempPathW(MAX_PATH + 1, expected), 0u);
    std::u16string out;
    TempFolder(out);
    EXPECT_EQ(W(out), expected);
    EXPECT_EQ(out.back(), u'\\');
    EXPECT_NE(out.substr(out.size() - 2), u"\\\\");
}

TEST(TesselAppWin32Test, CurrentFolderFollowsTheCurrentDirectory) {
    const win32_test::TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    wchar_t old[4096] = {};
    ::GetCurrentDirectoryW(4096, old);
    ASSERT_TRUE(::SetCurrentDirectoryW(dir.path().c_str()));
    std::u16string out;
    CurrentFolder(out);
    ::SetCurrentDirectoryW(old);
    EXPECT_EQ(W(out), dir.path());
}

TEST(TesselAppWin32Test, CreateFoldersMakesTheMissingParentsToo) {
    const win32_test::TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    const std::wstring deep = dir / L"a\\b/c\\";  // either separator, a final one too
    EXPECT_TRUE(CreateFolders(U(deep)));
    EXPECT_EQ(::GetFileAttributesW((dir / L"a\\b\\c").c_str()), DWORD{FILE_ATTRIBUTE_DIRECTORY});
    EXPECT_TRUE(CreateFolders(U(deep))) << "already there";
    ASSERT_TRUE(win32_test::PutFile(dir / L"file", "x"));
    EXPECT_FALSE(CreateFolders(U(dir / L"file\\sub"))) << "a file is in the way";
    EXPECT_FALSE(CreateFolders(U(dir / L"file")));
    EXPECT_FALSE(CreateFolders(u""));
}

// The "\\?\" form is made from the full path the system derives, so it
// names what the plain path names, past MAX_PATH too.
TEST(TesselAppWin32Test, SystemPathIsTheLongFormOfTheFullPath) {
    std::wstring current(4096, L'\0');
    current.resize(::GetCurrentDirectoryW(4096, current.data()));
    if (current.back() != L'\\') current.push_back(L'\\');
    const std::wstring longName(300, L'n');
    struct Case {
        std::wstring given;
        std::wstring expected;
    };
    for (const Case& c : {
             Case{L"C:\\Data\\a.txt", L"\\\\?\\C:\\Data\\a.txt"},
             Case{L"C:/Data/./old/../a.txt", L"\\\\?\\C:\\Data\\a.txt"},
             Case{L"C:\\Data\\\\" + longName, L"\\\\?\\C:\\Data\\" + longName},
             Case{L"\\\\server\\share\\x\\..\\y", L"\\\\?\\UNC\\server\\share\\y"},
             Case{L"//server/share/y", L"\\\\?\\UNC\\server\\share\\y"},
             Case{L"sub\\f.txt", L"\\\\?\\" + current + L"sub\\f.txt"},
             Case{L"\\\\?\\C:\\x/./y", L"\\\\?\\C:\\x/./y"},  // already in that form: as given
             Case{L"\\\\.\\pipe\\x", L"\\\\.\\pipe\\x"},
             Case{L"", L""},
         }) {
        EXPECT_EQ(Win32::SystemPath(U(c.given)), c.expected) << ::testing::PrintToString(c.given);
    }
}

// Made, listed, read and removed through the library with plain paths of
// more than MAX_PATH characters. Under Wine, which has no such limit, this
// shows the long form works in every call, not that Windows needs it.
TEST(TesselAppWin32Test, ATreeNestedPastMaxPathIsMadeListedReadAndRemoved) {
    const win32_test::TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    std::wstring folder = dir.path();
    std::vector<std::wstring> folders;
    while (folder.size() < MAX_PATH + 20) {
        folder += std::wstring(40, static_cast<wchar_t>(L'a' + folders.size())) + L"\\";
        folders.push_back(folder);
    }
    ASSERT_TRUE(CreateFolders(U(folder)));
    const std::wstring file = folder + L"deep.txt";
    {
        TesselFile writer(U(file));
        ASSERT_TRUE(writer.Write("deep", 4));
        ASSERT_TRUE(writer.Commit());
    }
    std::vector<std::u16string> names;
    {
        // Held only while it is listed: a held folder cannot be removed.
        const std::shared_ptr<TesselLibrary::Folder> held = TesselLibrary::Folder::Open(U(folder));
        ASSERT_NE(held, nullptr);
        TesselLibrary::FolderListing entries;
        EXPECT_TRUE(held->List(entries, false));
        for (const TesselLibrary::DirectoryEntry& entry : entries) names.push_back(entry.name);
    }
    EXPECT_NE(std::find(names.begin(), names.end(), u"deep.txt"), names.end());
    {
        const TesselMappedFile mapped(U(file).c_str());
        std::string seen;
        EXPECT_TRUE(mapped.ReadView(4, [&](const std::uint8_t* bytes, std::uint32_t length) {
            seen.append(reinterpret_cast<const char*>(bytes), length);
            return true;
        }));
        EXPECT_EQ(seen, "deep");
    }
    EXPECT_TRUE(FileExists(U(file).c_str()));
    EXPECT_TRUE(RemoveFile(U(file).c_str()));
    EXPECT_FALSE(FileExists(U(file).c_str()));
    for (auto level = folders.rbegin(); level != folders.rend(); ++level)
        EXPECT_TRUE(::RemoveDirectoryW(Win32::SystemPath(U(*level)).c_str()));
}

// A plain top-level window of a given size, destroyed with the object.
class TestWindow {
public:
    TestWindow(int x, int y, int width, int height, HWND parent = nullptr) {
        window_ = ::CreateWindowExW(0, L"Static", L"centring", parent ? WS_POPUP : WS_OVERLAPPED, x, y, width, height,
                                    parent, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    }
    ~TestWindow() {
        if (window_) ::DestroyWindow(window_);
    }
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;
    HWND get() const { return window_; }
    POINT TopLeft() const {
        RECT rect{};
        ::GetWindowRect(window_, &rect);
        return {rect.left, rect.top};
    }

private:
    HWND window_ = nullptr;
};

TEST(TesselAppWin32Test, CentringOnAParentAndAtTheEdges) {
    RECT work{};
    ASSERT_TRUE(::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0));
    ASSERT_GE(work.right - work.left, 600) << "the test display is too small";

    const TestWindow parent(100, 100, 400, 300);
    ASSERT_NE(parent.get(), nullptr) << "no window could be created (no display?)";
    const TestWindow child(0, 0, 200, 100, parent.get());
    ASSERT_NE(child.get(), nullptr);
    CenterWindow(child.get());
    EXPECT_EQ(child.TopLeft().x, 200);
    EXPECT_EQ(child.TopLeft().y, 200);

    struct Case {
        int x, y, width, height;
        LONG left, top;
        const char* what;
    };
    const LONG workWidth = work.right - work.left;
    const LONG workHeight = work.bottom - work.top;
    const Case cases[] = {
        {100, 100, 400, 300, 200, 200, "inside the work area"},
        {10, 10, 100, 50, 0, 0, "wider and taller than the space: clamped to 0"},
        {work.right + 50, 10, 400, 300, (workWidth - 200) / 2, (workHeight - 100) / 2,
         "reference point off the work area: centred in its size at the origin"},
    };
    for (const Case& c : cases) {
        CenterWindowInRect(child.get(), c.x, c.y, c.width, c.height);
        EXPECT_EQ(child.TopLeft().x, c.left) << c.what;
        EXPECT_EQ(child.TopLeft().y, c.top) << c.what;
    }

    CenterWindowOnScreen(child.get());
    EXPECT_EQ(child.TopLeft().x, (::GetSystemMetrics(SM_CXSCREEN) - 200) / 2);
    EXPECT_EQ(child.TopLeft().y, (::GetSystemMetrics(SM_CYSCREEN) - 100) / 2);
}

TEST(TesselAppWin32Test, HelpResourceIsACompiledHelpFileAndExtractsUnchanged) {
    const TesselAppWindows frame;
    std::uint32_t size = 0;
    const std::uint8_t* bytes = FindHelpResource(frame.module(), &size);
    ASSERT_NE(bytes, nullptr);
    ASSERT_GT(size, 4u);
    EXPECT_EQ(std::memcmp(bytes, "ITSF", 4), 0) << "a compiled HTML Help file starts with ITSF";

    const win32_test::TempDir dir;
    const std::wstring path = dir / L"Sumvane.chm";
    ASSERT_TRUE(win32_test::PutFile(path, std::string(size + 100, 'x')));  // an older, longer copy
    EXPECT_TRUE(ExtractHelpFile(frame.module(), U(path).c_str()));
    EXPECT_EQ(win32_test::ReadWholeFile(path), std::string(reinterpret_cast<const char*>(bytes), size));
}

TEST(TesselAppWin32Test, AModuleWithoutTheHelpResourceExtractsNothing) {
    // kernel32 has no RCDATA 2000.
    const HMODULE other = ::GetModuleHandleW(L"kernel32.dll");
    ASSERT_NE(other, nullptr);
    std::uint32_t size = 77;
    EXPECT_EQ(FindHelpResource(other, &size), nullptr);
    EXPECT_EQ(size, 0u);
    const win32_test::TempDir dir;
    const std::wstring path = dir / L"none.chm";
    EXPECT_FALSE(ExtractHelpFile(other, U(path).c_str()));
    EXPECT_FALSE(win32_test::Exists(path));
}

TEST(TesselAppWin32Test, IconGroupSumvaneLoads) {
    const HMODULE module = ::GetModuleHandleW(nullptr);
    EXPECT_NE(::FindResourceW(module, L"SUMVANE", RT_GROUP_ICON), nullptr);
    const HICON icon = ::LoadIconW(module, L"SUMVANE");
    EXPECT_NE(icon, nullptr);
    if (icon) ::DestroyIcon(icon);
}

// For large icon views and high-DPI screens the group holds a 256 x 256
// image, stored as a PNG.
TEST(TesselAppWin32Test, IconGroupHasA256PixelPng) {
    const HMODULE module = ::GetModuleHandleW(nullptr);
    const HRSRC group = ::FindResourceW(module, L"SUMVANE", RT_GROUP_ICON);
    ASSERT_NE(group, nullptr);
    auto* directory = static_cast<BYTE*>(::LockResource(::LoadResource(module, group)));
    ASSERT_NE(directory, nullptr);
    const int id = ::LookupIconIdFromDirectoryEx(directory, TRUE, 256, 256, LR_DEFAULTCOLOR);
    const HRSRC image = ::FindResourceW(module, MAKEINTRESOURCEW(id), RT_ICON);
    ASSERT_NE(image, nullptr) << "icon " << id;
    ASSERT_GE(::SizeofResource(module, image), 24u);
    const auto* bytes = static_cast<const unsigned char*>(::LockResource(::LoadResource(module, image)));
    const std::string head(reinterpret_cast<const char*>(bytes), 24);
    EXPECT_EQ(head.substr(0, 8), "\x89PNG\r\n\x1a\n");
    EXPECT_EQ(head.substr(16, 8), std::string("\0\0\x01\0\0\0\x01\0", 8)) << "256 x 256";
}

// The application manifest (resource 24, id 1) is what Windows reads at
// start: the common controls 6 and per-monitor DPI awareness.
TEST(TesselAppWin32Test, ApplicationManifestAsksForCommonControls6AndPerMonitorDpi) {
    const HMODULE module = ::GetModuleHandleW(nullptr);
    const HRSRC info = ::FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    ASSERT_NE(info, nullptr);
    const std::string text(static_cast<const char*>(::LockResource(::LoadResource(module, info))),
                           ::SizeofResource(module, info));
    for (const char* wanted : {"name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
                               "<requestedExecutionLevel level=\"asInvoker\"", ">PerMonitorV2, PerMonitor<",
                               ">true/pm<", "version=\"" SUMVANE_PROJECT_VERSION "\""}) {
        EXPECT_NE(text.find(wanted), std::string::npos) << wanted;
    }
}

// The version block read back with the version-information API.
class VersionInfo {
public:
    VersionInfo() {
        wchar_t path[MAX_PATH] = {};
        ::GetModuleFileNameW(nullptr, path, MAX_PATH);
        DWORD ignored = 0;
        const DWORD size = ::GetFileVersionInfoSizeW(path, &ignored);
        if (size == 0) return;
        data_.resize(size);
        if (!::GetFileVersionInfoW(path, 0, size, data_.data())) data_.clear();
    }
    bool ok() const { return !data_.empty(); }
    std::wstring Text(const std::wstring& block, const std::wstring& name) const {
        void* value = nullptr;
        UINT length = 0;
        const std::wstring query = L"\\StringFileInfo\\" + block + L"\\" + name;
        if (!::VerQueryValueW(data_.data(), query.c_str(), &value, &length) || !value) return L"<missing>";
        return static_cast<const wchar_t*>(value);
    }
    const VS_FIXEDFILEINFO* Fixed() const {
        void* value = nullptr;
        UINT length = 0;
        if (!::VerQueryValueW(data_.data(), L"\\", &value, &length) || length < sizeof(VS_FIXEDFILEINFO))
            return nullptr;
        return static_cast<const VS_FIXEDFILEINFO*>(value);
    }
    std::vector<WORD> Translation() const {
        void* value = nullptr;
        UINT length = 0;
        if (!::VerQueryValueW(data_.data(), L"\\VarFileInfo\\Translation", &value, &length) || length < 4) return {};
        const auto* words = static_cast<const WORD*>(value);
        return {words[0], words[1]};
    }

private:
    std::vector<std::uint8_t> data_;
};

TEST(TesselAppWin32Test, VersionBlock) {
    const VersionInfo info;
    ASSERT_TRUE(info.ok());
    const VS_FIXEDFILEINFO* fixed = info.Fixed();
    ASSERT_NE(fixed, nullptr);
    // The project's version (tests/CMakeLists.txt), two numbers to a word.
    constexpr DWORD version[] = {SUMVANE_PROJECT_VERSION_NUMBERS};
    EXPECT_EQ(fixed->dwFileVersionMS, (version[0] << 16) | version[1]);
    EXPECT_EQ(fixed->dwFileVersionLS, (version[2] << 16) | version[3]);
    EXPECT_EQ(fixed->dwProductVersionMS, (version[0] << 16) | version[1]);
    EXPECT_EQ(fixed->dwProductVersionLS, (version[2] << 16) | version[3]);
    EXPECT_EQ(info.Translation(), (std::vector<WORD>{0x0409, 1252}));
    struct Case {
        const wchar_t* name;
        const wchar_t* value;
    };
    for (const Case& c : {Case{L"ProductName", L"Sumvane"}, Case{L"InternalName", L"Sumvane"},
                          Case{L"OriginalFilename", L"Sumvane.exe"}, Case{L"FileVersion", L"" SUMVANE_PROJECT_VERSION},
                          Case{L"ProductVersion", L"" SUMVANE_PROJECT_VERSION}}) {
        EXPECT_EQ(info.Text(L"040904E4", c.name), c.value) << ::testing::PrintToString(std::wstring(c.name));
    }
}

// Reads a DIALOG (not DIALOGEX) template as the dialog manager does.
class DialogTemplateReader {
public:
    DialogTemplateReader(const std::uint8_t* bytes, std::size_t size) : bytes_(bytes), size_(size) {}
    bool ok() const { return ok_; }
    std::uint16_t Word() {
        if (at_ + 2 > size_) {
            ok_ = false;
            return 0;
        }
        const std::uint16_t value = static_cast<std::uint16_t>(bytes_[at_] | bytes_[at_ + 1] << 8);
        at_ += 2;
        return value;
    }
    std::uint32_t Dword() {
        const std::uint32_t low = Word();
        return low | static_cast<std::uint32_t>(Word()) << 16;
    }
    // A string, or 0xFFFF and an ordinal (given as "#n").
    std::wstring StringOrOrdinal() {
        std::uint16_t first = Word();
        if (first == 0xFFFF) return L"#" + std::to_wstring(Word());
        std::wstring text;
        while (ok_ && first != 0) {
            text.push_back(static_cast<wchar_t>(first));
            first = Word();
        }
        return text;
    }
    void AlignDword() { at_ = (at_ + 3) & ~static_cast<std::size_t>(3); }

private:
    const std::uint8_t* bytes_;
    std::size_t size_;
    std::size_t at_ = 0;
    bool ok_ = true;
};

struct TemplateItem {
    DWORD style;
    short x, y, cx, cy;
    int id;
    std::wstring className;  // upper case; the predefined classes by name
    std::wstring text;
    bool operator==(const TemplateItem& other) const {
        return style == other.style && x == other.x && y == other.y && cx == other.cx && cy == other.cy &&
               id == other.id && className == other.className && text == other.text;
    }
};

void PrintTo(const TemplateItem& item, std::ostream* out) {
    *out << "{id " << item.id << ", style 0x" << std::hex << item.style << std::dec << ", (" << item.x << ", " << item.y
         << ") " << item.cx << " x " << item.cy << ", class " << ::testing::PrintToString(item.className) << ", text "
         << ::testing::PrintToString(item.text) << "}";
}

TEST(TesselAppWin32Test, ProgressDialogTemplateIsExactlyAsDesigned) {
    const HMODULE module = ::GetModuleHandleW(nullptr);
    const HRSRC info = ::FindResourceW(module, MAKEINTRESOURCEW(20300), RT_DIALOG);
    ASSERT_NE(info, nullptr);
    DialogTemplateReader reader(static_cast<const std::uint8_t*>(::LockResource(::LoadResource(module, info))),
                                ::SizeofResource(module, info));
    const DWORD style = reader.Dword();
    reader.Dword();  // extended style
    const std::uint16_t count = reader.Word();
    const short x = static_cast<short>(reader.Word()), y = static_cast<short>(reader.Word());
    const short cx = static_cast<short>(reader.Word()), cy = static_cast<short>(reader.Word());
    EXPECT_EQ(style & ~static_cast<DWORD>(WS_CLIPSIBLINGS), static_cast<DWORD>(WS_POPUP | DS_MODALFRAME | DS_SETFONT));
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    EXPECT_EQ(cx, 145);
    EXPECT_EQ(cy, 100);
    EXPECT_EQ(reader.StringOrOrdinal(), L"") << "no menu";
    EXPECT_EQ(reader.StringOrOrdinal(), L"") << "the default dialog class";
    EXPECT_EQ(reader.StringOrOrdinal(), L"") << "no title text";
    EXPECT_EQ(reader.Word(), 8) << "point size";
    EXPECT_EQ(reader.StringOrOrdinal(), L"MS Sans Serif");

    const DWORD child = WS_CHILD;
    // The texts are drawn as they are (an "&" is no mnemonic); a status path
    // too long for its line keeps its end.
    const DWORD text = SS_CENTER | SS_NOPREFIX | WS_VISIBLE | WS_GROUP;
    const std::vector<TemplateItem> expected = {
        {child | text, 5, 5, 135, 8, 20302, L"STATIC", L"Please wait ..."},
        {child | text, 5, 15, 135, 8, 20303, L"STATIC", L"Please wait ..."},
        {child | WS_VISIBLE | WS_BORDER, 5, 35, 135, 10, 20304, L"MSCTLS_PROGRESS32", L"Progress1"},
        {child | WS_VISIBLE | WS_BORDER, 5, 50, 135, 10, 20305, L"MSCTLS_PROGRESS32", L"Progress2"},
        {child | text | SS_PATHELLIPSIS, 5, 65, 135, 8, 20301, L"STATIC", L""},
        {child | BS_DEFPUSHBUTTON | WS_VISIBLE | WS_TABSTOP, 56, 80, 32, 14, IDCANCEL, L"BUTTON", L"Cancel"},
    };
    std::vector<TemplateItem> items;
    for (std::uint16_t i = 0; i < count && reader.ok(); ++i) {
        reader.AlignDword();
        TemplateItem item{};
        item.style = reader.Dword();
        reader.Dword();  // extended style
        item.x = static_cast<short>(reader.Word());
        item.y = static_cast<short>(reader.Word());
        item.cx = static_cast<short>(reader.Word());
        item.cy = static_cast<short>(reader.Word());
        item.id = reader.Word();
        // A predefined class may be stored as its ordinal or by name, in any case.
        item.className = reader.StringOrOrdinal();
        if (item.className == L"#128") item.className = L"BUTTON";
        if (item.className == L"#130") item.className = L"STATIC";
        ::CharUpperW(item.className.data());
        item.text = reader.StringOrOrdinal();
        const std::uint16_t extra = reader.Word();
        for (std::uint16_t skip = 0; skip < extra; skip += 2) reader.Word();
        items.push_back(item);
    }
    ASSERT_TRUE(reader.ok()) << "the template ends early";
    EXPECT_EQ(items, expected);
}

INT_PTR CALLBACK IgnoreMessages(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

TEST(TesselAppWin32Test, ProgressDialogCanBeCreated) {
    const HMODULE module = ::GetModuleHandleW(nullptr);
    const HWND dialog = ::CreateDialogParamW(module, MAKEINTRESOURCEW(20300), nullptr, IgnoreMessages, 0);
    ASSERT_NE(dialog, nullptr) << "dialog 20300 could not be created (no display?)";
    wchar_t className[64] = {};
    ::GetClassNameW(::GetDlgItem(dialog, 20304), className, 64);
    EXPECT_EQ(_wcsicmp(className, L"msctls_progress32"), 0) << "the common-control bar class is registered";
    ::DestroyWindow(dialog);
}

}  // namespace

#endif  // _WIN32
