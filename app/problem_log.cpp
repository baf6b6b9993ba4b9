#include "problem_log.h"

#include "string_ids.h"

std::u16string pathForLog(const std::u16string& path) {
    std::u16string shown;
    shown.reserve(path.size());
    for (const char16_t c : path) {
        if (c == u'\r') {
            shown += u"\\r";
        } else if (c == u'\n') {
            shown += u"\\n";
        } else {
            shown += c;
        }
    }
    return shown;
}

void ProblemLog::logProblem(const std::u16string& path, std::uint32_t messageId) const {
    log_.Write(pathForLog(path));
    log_.WriteLine(strings_.ResourceString(messageId));
}

void ProblemLog::logMismatch(const std::u16string& path, const std::u16string& first,
                             const std::u16string& second) const {
    log_.Write(pathForLog(path));
    log_.Write(strings_.ResourceString(kMd5Mismatch));
    log_.Write(u" (");
    log_.Write(pathForLog(first));  // a stored digest may hold any byte; a line break must not end the line
    log_.Write(u" - ");
    log_.Write(pathForLog(second));
    log_.WriteLine(u")");
}

void ProblemLog::logDigestFailure(const std::u16string& path, DigestResult result) const {
    if (result == DigestResult::NotFound) logProblem(path, kFileNotFound);
    if (result == DigestResult::Unreadable) logProblem(path, kErrorComputingMd5);
}
