// Healing from a copy (-b): a file the check found damaged, unreadable or
// missing is put back from the copy of the folder, when the copy's file
// holds the digest the summary records. The summary and the copy are two
// witnesses; only where they agree is the archive's file taken to be the
// one that is wrong. An edit, a new file, a plain mismatch (no date to tell
// an edit from damage) are never touched.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "copy_into_place.h"
#include "engine/digest_result.h"
#include "folder.h"
#include "problem_log.h"
#include "verdict.h"

// The folder that keeps the bytes a repair replaced, at the top of the
// folder checked; a build never enters it (its name begins with ".").
inline constexpr char16_t kReplacedFolderName[] = u".sumvane-replaced";

enum class HealOutcome {
    Repaired,             // the copy's bytes replaced the file's; the old ones kept
    Restored,             // the copy's file put where there was none
    NoGoodCopy,           // the copy cannot witness it: nothing written
    ChangedWhileChecked,  // the file is no longer the one judged: nothing written
    NotRepaired,          // the repair could not be made: nothing replaced
};

struct Healing {
    HealOutcome outcome = HealOutcome::NotRepaired;
    std::u16string copyPath;  // C/P, as the log shows it
    // NoGoodCopy: the copy's digest, or the string of the reason; NotRepaired:
    // the string of the reason. Either way `digits` or `reason`.
    std::u16string digits;
    std::uint32_t reason = 0;
};

// Whether a check's verdict is one a copy may heal.
bool healsVerdict(Verdict verdict);

// The outcome of a request to put a copy's file in place, as healing says it.
Healing healingOf(const TesselLibrary::CopyResult& result, std::u16string copyPath);

class Healer {
public:
    // `copyFolder` as the user named it; `root` the folder checked, whose
    // entries' paths begin with `rootPath`; `day` the run's date
    // ("2026-12-09"), the folder below .sumvane-replaced.
    Healer(const std::u16string& copyFolder, std::shared_ptr<const TesselLibrary::Folder> root, std::u16string rootPath,
           std::u16string day);

    // What heals the entry `name` with the recorded `stored` digits, of
    // which the check made `digest` and judged `verdict` (one healsVerdict
    // accepts): the request to put its copy in place, or, for a name no
    // copy can heal, the healing it comes to. `recordedDate`: the date
    // recorded for the file, when the summary has a record of it; the new
    // file gets it, else the copy's. Several requests are put in place
    // together (TesselLibrary::CopyAllIntoPlace); `healed` says how each went.
    struct Request {
        TesselLibrary::CopyRequest copy;
        std::u16string copyPath;  // C/P, as the log shows it
    };
    std::variant<Request, Healing> request(const std::u16string& name, const char (&stored)[32],
                                           const FileDigest& digest, Verdict verdict,
                                           const std::optional<TesselLibrary::FileTime>& recordedDate) const;
    static Healing healed(const Request& request, const TesselLibrary::CopyResult& result) {
        return healingOf(result, request.copyPath);
    }

    // The line after the problem's: "<P> - Repaired from <C/P>", and the like.
    static void report(const ProblemLog& problems, const std::u16string& name, const Healing& healing);

private:
    std::u16string copyFolder_;
    std::shared_ptr<const TesselLibrary::Folder> copy_;
    std::shared_ptr<const TesselLibrary::Folder> root_;
    std::u16string rootPath_;
    std::u16string day_;
};

// How many files a check heals at once, of the `available` descriptors,
// and how many of those they hold meanwhile: a share of them, so that a
// low limit on open files heals one at a time rather than starving the
// check.
struct HealingShare {
    std::size_t files = 1;
    unsigned descriptors = 0;
};
HealingShare healingShare(unsigned available);

// The run's date as the folder of its replaced bytes is named.
std::u16string healingDay();
