#include "own_files.h"

#include <algorithm>

#include "file_dates.h"
#include "name_compare.h"
#include "path.h"

using namespace TesselLibrary;

OwnFiles::OwnFiles(const std::u16string& summaryName, const std::u16string& folderPath,
                   const std::u16string& currentFolder)
    : current_(currentFolder) {
    const std::u16string rewrite = RewriteName(summaryName);
    const std::u16string wholeFolder = IsAbsolutePath(folderPath) ? folderPath : currentFolder + folderPath;
    for (const std::u16string& name :
         {summaryName, rewrite, SlicePlaceName(summaryName), FileDatesName(summaryName), FileDatesName(rewrite)}) {
        bareNames_.push_back(name);
        names_.push_back(NameKey(name));
        paths_.push_back(NameKey(PlainPath(wholeFolder + name)));
    }
}

bool OwnFiles::names(const std::u16string& name) const {
    const auto in = [](const std::vector<std::u16string>& keys, const std::u16string& key) {
        return std::find(keys.begin(), keys.end(), key) != keys.end();
    };
    // A path reaches a file by its last name ("." and ".." last lead to
    // folders).
    if (!in(names_, NameKey(LastName(name)))) return false;
    const std::u16string plain = PlainPath(name);
    // The bare name as written, from whichever folder the check runs in;
    // in another letter case only where the system takes it for the file.
    if (IsOneName(plain) && in(bareNames_, plain)) return true;
    const std::u16string whole = IsAbsolutePath(plain) ? plain : PlainPath(current_ + plain);
    return in(paths_, NameKey(whole));
}

bool OwnFiles::named(const SummaryEntry& entry, const Relocation& relocation) const {
    if (names_.empty()) return false;
    const auto reaches = [&](const std::u16string& reading) {
        // Most lines end in a name of none of the files: told apart at once.
        const std::u16string last = NameKey(LastName(reading));
        const bool marked = last.size() > 1 && (last[0] == u' ' || last[0] == u'*');
        if (std::find(names_.begin(), names_.end(), last) == names_.end() &&
            (!marked || std::find(names_.begin(), names_.end(), last.substr(1)) == names_.end()))
            return false;
        const std::u16string name = relocation.apply(reading);
        // md5sum's mark before the name it means, whole or relative.
        const bool markedName = name.size() > 1 && (name[0] == u' ' || name[0] == u'*');
        return names(name) || (markedName && names(name.substr(1)));
    };
    return reaches(entry.name) || std::any_of(entry.otherReadings.begin(), entry.otherReadings.end(), reaches);
}
