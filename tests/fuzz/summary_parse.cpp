// The summary reader on arbitrary bytes. Besides not crashing: the bytes read
// in pieces (split where the first byte says) give exactly the lines they
// give read whole; and every entry, written back as a summary line (32 digest
// bytes, a space, the name's bytes, CR LF) and read again, comes back the
// same, with no invalid line (an entry whose name holds a line end is left
// out, as a rewrite leaves it out). The lines written back follow the UTF-8 mark,
// as an editor saves them: a first digest that begins with the mark's bytes
// (no writer's digest does) is then read as the digest it is.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "summary_format.h"

namespace {

const std::u16string kSummaryName = u"Sumvane.md5";

bool SameLines(const std::vector<SummaryLine>& a, const std::vector<SummaryLine>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].kind != b[i].kind || a[i].entry.name != b[i].entry.name ||
            std::memcmp(a[i].entry.digest, b[i].entry.digest, 32) != 0)
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> bytes(data, data + size);
    const std::vector<SummaryLine> lines = parseSummary(bytes, kSummaryName);

    const std::size_t piece = size > 0 ? 1 + data[0] % 97 : 1;
    SummaryParser parser(kSummaryName);
    std::vector<SummaryLine> inPieces;
    for (std::size_t at = 0; at < size; at += piece) parser.Feed(data + at, std::min(piece, size - at), inPieces);
    parser.Finish(inPieces);
    if (!SameLines(lines, inPieces)) std::abort();

    std::vector<const SummaryEntry*> written;
    std::vector<std::uint8_t> again(kUtf8Mark.begin(), kUtf8Mark.end());
    for (const SummaryLine& line : lines) {
        if (line.kind != SummaryLine::Kind::Entry) continue;
        const SummaryEntry& entry = line.entry;
        if (entry.name.empty() || entry.name.find(u'\0') != std::u16string::npos) std::abort();
        // A name with a line end (md5sum's escaped lines hold them) is one no
        // line can hold: a rewrite leaves it out, and so does this one.
        if (entry.name.find_first_of(u"\r\n") != std::u16string::npos) continue;
        const std::string name = toLowBytes(entry.name);
        again.insert(again.end(), entry.digest, entry.digest + 32);
        again.push_back(' ');
        again.insert(again.end(), name.begin(), name.end());
        again.push_back('\r');
        again.push_back('\n');
        written.push_back(&entry);
    }
    const std::vector<SummaryLine> reread = parseSummary(again, kSummaryName);
    if (reread.size() != written.size()) std::abort();
    for (std::size_t i = 0; i < reread.size(); ++i) {
        if (reread[i].kind != SummaryLine::Kind::Entry ||
            std::memcmp(reread[i].entry.digest, written[i]->digest, 32) != 0 ||
            reread[i].entry.name != written[i]->name)
            std::abort();
    }
    return 0;
}
