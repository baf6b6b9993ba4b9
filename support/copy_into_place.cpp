// What both backends of CopyIntoPlace do alike: the name of a repair's
// temporary file, and the way through the copy's folders.
#include "copy_into_place.h"

#include <cstdint>

namespace TesselLibrary {

CopyResult CopyIntoPlace(const CopyRequest& request) { return CopyAllIntoPlace({request}).front(); }

std::vector<CopyResult> CopyAllIntoPlace(const std::vector<CopyRequest>& requests) {
    std::vector<CopyResult> results;
    CopyAllIntoPlace(requests, [&](const std::vector<CopyResult>& done) {
        results.insert(results.end(), done.begin(), done.end());
    });
    return results;
}

std::u16string RepairLetters(const std::vector<std::u16string>& names) {
    std::uint64_t hash = 14695981039346656037ull;  // FNV-1a over the names and a separator after each
    for (const std::u16string& name : names) {
        for (const char16_t unit : name) hash = (hash ^ unit) * 1099511628211ull;
        hash = (hash ^ 0x2F) * 1099511628211ull;
    }
    static const char kLetters[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    std::u16string letters;
    for (int i = 0; i < 8; ++i) {
        letters.push_back(static_cast<char16_t>(kLetters[hash % 62]));
        hash /= 62;
    }
    return letters;
}

CopyOutcome OpenCopyFolders(const CopyRequest& request, std::vector<std::shared_ptr<const Folder>>& folders) {
    if (!request.copy) return CopyOutcome::CopyMissing;
    folders.push_back(request.copy);
    for (std::size_t i = 0; i + 1 < request.names.size(); ++i) {
        FolderProblem problem = FolderProblem::None;
        std::shared_ptr<const Folder> child = folders.back()->OpenChild(request.names[i], &problem);
        if (!child) {
            if (problem == FolderProblem::NotFound) return CopyOutcome::CopyMissing;
            return problem == FolderProblem::NotAFolder ? CopyOutcome::CopyNotAFile : CopyOutcome::CopyUnreadable;
        }
        folders.push_back(std::move(child));
    }
    return CopyOutcome::Replaced;
}

}  // namespace TesselLibrary
