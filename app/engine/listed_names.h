// Which names a summary lists, in every reading of their bytes, held as
// 64-bit hashes of the form the system compares names in (NameKey): eight
// bytes a name, whatever its length, so that a check looking for new files
// can ask of any file of the tree whether the summary names it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class ListedNames {
public:
    void add(const std::u16string& name);
    // Called once all are added, before the first question.
    void seal();
    // Whether a name the summary lists is this one (a false yes only for
    // two names whose hashes meet, one chance in 2^64 per pair).
    bool lists(const std::u16string& name) const;

private:
    std::vector<std::uint64_t> hashes_;
};
