// parseSummary on arbitrary bytes. Besides not crashing: every entry it
// returns, written back as a summary line (32 digest bytes, a space, the
// name's bytes, CR LF) and parsed again, comes back the same, and the lines
// written are all valid.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "checksum_app.h"
#include "summary_format.h"

namespace {

// The log is never opened, so it drops what the parser reports.
ChecksumApp& App() {
    static ChecksumApp app;
    return app;
}

std::vector<SummaryEntry> Parse(const std::vector<std::uint8_t>& bytes, bool& anyInvalid) {
    return parseSummary(bytes, App().settings.summaryName, *App().log, App().frame, anyInvalid);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    bool anyInvalid = false;
    const std::vector<SummaryEntry> entries = Parse({data, data + size}, anyInvalid);

    std::vector<const SummaryEntry*> written;
    std::vector<std::uint8_t> again;
    for (const SummaryEntry& entry : entries) {
        if (entry.name.empty()) std::abort();
        // The writer ends a name at U+0000, its terminator: such a name
        // cannot be written whole.
        if (entry.name.find(u'\0') != std::u16string::npos) continue;
        const std::string name = toLowBytes(entry.name);
        again.insert(again.end(), entry.digest, entry.digest + 32);
        again.push_back(' ');
        again.insert(again.end(), name.begin(), name.end());
        again.push_back('\r');
        again.push_back('\n');
        written.push_back(&entry);
    }
    bool againInvalid = false;
    const std::vector<SummaryEntry> reread = Parse(again, againInvalid);
    if (againInvalid || reread.size() != written.size()) std::abort();
    for (std::size_t i = 0; i < reread.size(); ++i) {
        if (std::memcmp(reread[i].digest, written[i]->digest, 32) != 0 || reread[i].name != written[i]->name)
            std::abort();
    }
    return 0;
}
