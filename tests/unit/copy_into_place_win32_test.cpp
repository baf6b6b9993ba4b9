// CopyIntoPlace on the Win32 backend, where the end-to-end cases under Wine
// cannot reach: a file that is no longer the one judged, a restore whose
// name was taken, a restore abandoned after its folders were made, a second
// repair of one file on one day, a killed repair's temporary file. Each
// case checks the whole archive afterwards: what an abandoned repair leaves
// is exactly what was there.
#ifdef _WIN32

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "copy_into_place.h"
#include "md5_test_support.h"
#include "replacement_file.h"
#include "text.h"
#include "win32/repair_leftover.h"
#include "win32_test_support.h"

namespace {

using TesselLibrary::CopyOutcome;
using TesselLibrary::CopyRequest;
using TesselLibrary::Folder;
using win32_test::U;

// Every file below `folder`, by its path below it, with its bytes; a
// folder as "<folder>".
void Gather(const std::wstring& folder, const std::wstring& below, std::map<std::wstring, std::string>& files) {
    WIN32_FIND_DATAW found{};
    const HANDLE find = ::FindFirstFileW((folder + below + L"*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            files[below + name] = "<folder>";
            Gather(folder, below + name + L"\\", files);
        } else {
            files[below + name] = win32_test::ReadWholeFile(folder + below + name).value_or("<unreadable>");
        }
    } while (::FindNextFileW(find, &found));
    ::FindClose(find);
}

std::map<std::wstring, std::string> TreeOf(const std::wstring& folder) {
    std::map<std::wstring, std::string> files;
    Gather(folder, L"", files);
    return files;
}

struct Case {
    const char* name;
    std::vector<std::u16string> names;            // the file's path below both trees
    std::map<std::wstring, std::string> archive;  // made before the run ("<folder>": a folder)
    std::map<std::wstring, std::string> copy;
    bool restore;
    std::function<void(TesselLibrary::JudgedFile&)> judged;  // how the check saw the file
    CopyOutcome outcome;
    std::map<std::wstring, std::string> after;  // the whole archive afterwards
};

const std::wstring kKept = L".sumvane-replaced\\2026-12-09\\";

// The temporary file's name of a repair of a.txt.
std::wstring Leftover() {
    return win32_test::W(TesselLibrary::TemporaryName(TesselLibrary::RepairLetters({u"a.txt"})));
}

void Make(const std::wstring& root, const std::map<std::wstring, std::string>& files) {
    for (const auto& [path, bytes] : files) {
        if (bytes == "<folder>") {
            ASSERT_TRUE(::CreateDirectoryW((root + path).c_str(), nullptr)) << std::string(path.begin(), path.end());
        } else {
            ASSERT_TRUE(win32_test::PutFile(root + path, bytes)) << std::string(path.begin(), path.end());
        }
    }
}

TEST(CopyIntoPlaceWin32, WhatIsNotReplacedIsLeftAsItWasFound) {
    const auto sized = [](std::uint64_t size) {
        return [size](TesselLibrary::JudgedFile& judged) { judged.size = size; };
    };
    const auto asItIs = [](TesselLibrary::JudgedFile&) {};
    const Case cases[] = {
        {"TheFileGrewSinceItWasJudged",
         {u"a.txt"},
         {{L"a.txt", "decayed"}},
         {{L"a.txt", "good"}},
         false,
         sized(3),
         CopyOutcome::Changed,
         {{L"a.txt", "decayed"}}},
        {"ARestoreWhoseNameWasTaken",
         {u"a.txt"},
         {{L"a.txt", "someone's own"}},
         {{L"a.txt", "good"}},
         true,
         nullptr,
         CopyOutcome::Changed,
         {{L"a.txt", "someone's own"}}},
        {"ARestoreFromABadCopyMakesNoFolder",
         {u"sub", u"deeper", u"a.txt"},
         {},
         {{L"sub", "<folder>"}, {L"sub\\deeper", "<folder>"}, {L"sub\\deeper\\a.txt", "bad"}},
         true,
         nullptr,
         CopyOutcome::CopyDiffers,
         {}},
        {"ASecondRepairOnOneDayKeepsBoth",
         {u"a.txt"},
         {{L"a.txt", "decayed"},
          {L".sumvane-replaced", "<folder>"},
          {L".sumvane-replaced\\2026-12-09", "<folder>"},
          {kKept + L"a.txt", "decayed earlier"}},
         {{L"a.txt", "good"}},
         false,
         sized(7),
         CopyOutcome::Replaced,
         {{L"a.txt", "good"},
          {L".sumvane-replaced", "<folder>"},
          {L".sumvane-replaced\\2026-12-09", "<folder>"},
          {kKept + L"a.txt", "decayed earlier"},
          {kKept + L"a.txt.2", "decayed"}}},
        {"AKilledRepairsTemporaryFileIsRemoved",
         {u"a.txt"},
         {{L"a.txt", "decayed"}, {Leftover(), "go"}},
         {{L"a.txt", "good"}},
         false,
         asItIs,
         CopyOutcome::Replaced,
         {{L"a.txt", "good"},
          {L".sumvane-replaced", "<folder>"},
          {L".sumvane-replaced\\2026-12-09", "<folder>"},
          {kKept + L"a.txt", "decayed"}}},
        {"SomeonesOwnFileWithThatNameIsKept",
         {u"a.txt"},
         {{L"a.txt", "decayed"}, {Leftover(), "not the copy's"}},
         {{L"a.txt", "good"}},
         false,
         asItIs,
         CopyOutcome::Replaced,
         {{L"a.txt", "good"},
          {Leftover(), "not the copy's"},
          {L".sumvane-replaced", "<folder>"},
          {L".sumvane-replaced\\2026-12-09", "<folder>"},
          {kKept + L"a.txt", "decayed"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const win32_test::TempDir archive, copy;
        ASSERT_FALSE(archive.path().empty());
        ASSERT_FALSE(copy.path().empty());
        Make(archive.path(), c.archive);
        Make(copy.path(), c.copy);
        CopyRequest request;
        request.archive = Folder::Open(U(archive.path()));
        request.copy = Folder::Open(U(copy.path()));
        request.names = c.names;
        const std::string digits = md5_test::Digits("good");
        std::copy(digits.begin(), digits.end(), request.digits);
        if (!c.restore) {
            request.judged.emplace();
            c.judged(*request.judged);
        }
        request.keptUnder = {u".sumvane-replaced", u"2026-12-09"};
        EXPECT_EQ(static_cast<int>(TesselLibrary::CopyIntoPlace(request).outcome), static_cast<int>(c.outcome));
        request.archive.reset();
        request.copy.reset();
        EXPECT_EQ(TreeOf(archive.path()), c.after);
    }
}

}  // namespace

#endif  // _WIN32
