// The Explorer verb on the Win32 backend, read back from the registry. The
// tests use their own verb name so that they never touch the program's.
#ifdef _WIN32

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "context_menu_verb.h"
#include "win32_test_support.h"

namespace {

using TesselLibrary::InstallContextMenuVerb;
using TesselLibrary::RemoveContextMenuVerb;

constexpr const char16_t* kVerb = u"SumvaneUnitTestVerb";
constexpr const wchar_t* kMachineCommand = L"*\\shell\\SumvaneUnitTestVerb\\command";
constexpr const wchar_t* kUserCommand = L"Software\\Classes\\*\\shell\\SumvaneUnitTestVerb\\command";

struct Value {
    DWORD type = 0;
    std::vector<std::uint8_t> bytes;
};

std::optional<Value> DefaultValue(HKEY root, const wchar_t* path) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return std::nullopt;
    Value value;
    DWORD size = 0;
    if (::RegQueryValueExW(key, nullptr, nullptr, &value.type, nullptr, &size) == ERROR_SUCCESS) {
        value.bytes.resize(size);
        ::RegQueryValueExW(key, nullptr, nullptr, &value.type, value.bytes.data(), &size);
    }
    ::RegCloseKey(key);
    return value;
}

bool KeyExists(HKEY root, const wchar_t* path) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    ::RegCloseKey(key);
    return true;
}

std::vector<std::uint8_t> WithNull(const std::wstring& text) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.c_str());
    return std::vector<std::uint8_t>(bytes, bytes + (text.size() + 1) * sizeof(wchar_t));
}

// Whether this process may write under HKEY_LOCAL_MACHINE\Software\Classes,
// where HKEY_CLASSES_ROOT keeps what it is given.
bool MachineClassesWritable() {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Classes", 0, KEY_WRITE, &key) != ERROR_SUCCESS) return false;
    ::RegCloseKey(key);
    return true;
}

class ContextMenuVerbWin32Test : public ::testing::Test {
protected:
    void SetUp() override { RemoveContextMenuVerb(kVerb); }
    void TearDown() override { RemoveContextMenuVerb(kVerb); }
};

TEST_F(ContextMenuVerbWin32Test, InstallWritesTheQuotedCommandWithItsNull) {
    InstallContextMenuVerb(kVerb, u"C:\\Tools\\Sumvane.exe", u"-z");
    const std::optional<Value> value = DefaultValue(HKEY_CLASSES_ROOT, kMachineCommand);
    ASSERT_TRUE(value.has_value()) << "no command key under HKEY_CLASSES_ROOT";
    EXPECT_EQ(value->type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(value->bytes, WithNull(L"\"C:\\Tools\\Sumvane.exe\" \"-z%1\""));
}

TEST_F(ContextMenuVerbWin32Test, InstallingTwiceRewritesTheOneValue) {
    InstallContextMenuVerb(kVerb, u"C:\\Old\\Sumvane.exe", u"-z");
    InstallContextMenuVerb(kVerb, u"D:\\New Place\\Sumvane.exe", u"-z");
    const std::optional<Value> value = DefaultValue(HKEY_CLASSES_ROOT, kMachineCommand);
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(value->bytes, WithNull(L"\"D:\\New Place\\Sumvane.exe\" \"-z%1\""));
}

TEST_F(ContextMenuVerbWin32Test, RemoveDeletesCommandAndVerbAndToleratesAbsence) {
    InstallContextMenuVerb(kVerb, u"C:\\Tools\\Sumvane.exe", u"-z");
    ASSERT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kMachineCommand));
    RemoveContextMenuVerb(kVerb);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"*\\shell\\SumvaneUnitTestVerb"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"*")) << "the class of all files stays";
    RemoveContextMenuVerb(kVerb);  // nothing there: nothing happens
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"*\\shell\\SumvaneUnitTestVerb"));
}

TEST_F(ContextMenuVerbWin32Test, RemoveAlsoDeletesThePerUserCopy) {
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, kUserCommand, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ::RegCloseKey(key);
    RemoveContextMenuVerb(kVerb);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, L"Software\\Classes\\*\\shell\\SumvaneUnitTestVerb"));
}

TEST_F(ContextMenuVerbWin32Test, WithoutAdministratorRightsThePerUserClassesGetTheVerb) {
    if (MachineClassesWritable())
        GTEST_SKIP() << "this process may write the machine's classes (an administrator, or Wine, which "
                        "has no access control): the per-user fallback cannot be reached here";
    InstallContextMenuVerb(kVerb, u"C:\\Tools\\Sumvane.exe", u"-z");
    const std::optional<Value> value = DefaultValue(HKEY_CURRENT_USER, kUserCommand);
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(value->bytes, WithNull(L"\"C:\\Tools\\Sumvane.exe\" \"-z%1\""));
}

// The same fallback, reached on any machine: a volatile verb key under the
// machine's classes refuses the lasting command key below it, as a key
// without write access would refuse it.
TEST_F(ContextMenuVerbWin32Test, WhenTheMachineClassesRefuseTheKeyThePerUserClassesGetTheVerb) {
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CLASSES_ROOT, L"*\\shell", 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ::RegCloseKey(key);
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CLASSES_ROOT, L"*\\shell\\SumvaneUnitTestVerb", 0, nullptr, REG_OPTION_VOLATILE,
                                KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ::RegCloseKey(key);

    InstallContextMenuVerb(kVerb, u"C:\\Tools\\Sumvane.exe", u"-z");
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kMachineCommand));
    const std::optional<Value> value = DefaultValue(HKEY_CURRENT_USER, kUserCommand);
    ASSERT_TRUE(value.has_value()) << "no command key under the per-user classes";
    EXPECT_EQ(value->type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(value->bytes, WithNull(L"\"C:\\Tools\\Sumvane.exe\" \"-z%1\""));

    RemoveContextMenuVerb(kVerb);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, L"Software\\Classes\\*\\shell\\SumvaneUnitTestVerb"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"*\\shell\\SumvaneUnitTestVerb"));
}

}  // namespace

#endif  // _WIN32
