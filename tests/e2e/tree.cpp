#include "tree.h"

#include <regex>

#include <dirent.h>
#include <locale.h>
#include <wctype.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <utility>

namespace e2e {

namespace {

// A folder listed as NTFS lists it: by the upper-cased names, an exact
// comparison breaking ties ("." and ".." first, as Wine lists them).
bool ListsBefore(const std::string& a, const std::string& b) {
    const auto rank = [](const std::string& n) { return n == "." ? 0 : n == ".." ? 1 : 2; };
    if (rank(a) != rank(b)) return rank(a) < rank(b);
    static const locale_t utf8 = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    const auto wide = [](const std::string& n) {  // UTF-8 to code points
        std::wstring w;
        for (std::size_t i = 0; i < n.size();) {
            const auto byte = static_cast<unsigned char>(n[i]);
            const int extra = byte >= 0xF0 ? 3 : byte >= 0xE0 ? 2 : byte >= 0xC0 ? 1 : 0;
            wchar_t cp = extra == 0 ? byte : byte & (0x3F >> extra);
            for (int k = 1; k <= extra && i + k < n.size(); ++k) cp = (cp << 6) | (n[i + k] & 0x3F);
            w.push_back(cp);
            i += 1 + extra;
        }
        return w;
    };
    const std::wstring wa = wide(a), wb = wide(b);
    const auto upper = [](wchar_t c) { return ::towupper_l(static_cast<wint_t>(c), utf8); };
    const bool less = std::lexicographical_compare(wa.begin(), wa.end(), wb.begin(), wb.end(),
                                                   [&](wchar_t x, wchar_t y) { return upper(x) < upper(y); });
    const bool greater = std::lexicographical_compare(wb.begin(), wb.end(), wa.begin(), wa.end(),
                                                      [&](wchar_t x, wchar_t y) { return upper(x) < upper(y); });
    if (less != greater) return less;
    return a < b;
}

// Position of `name` in the listing of `dir` in the order the program lists
// it: sorted as NTFS lists a folder, by the Linux build and by Wine alike.
long ListingIndex(const fs::path& dir, const std::string& name) {
    DIR* d = ::opendir(dir.c_str());
    if (d == nullptr) return -1;
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(d)) names.emplace_back(entry->d_name);
    ::closedir(d);
    std::stable_sort(names.begin(), names.end(), ListsBefore);
    const auto found = std::find(names.begin(), names.end(), name);
    return found == names.end() ? -1 : static_cast<long>(found - names.begin());
}

}  // namespace

std::vector<Recorded> InWalkOrder(const fs::path& rootDir, std::vector<Recorded> files) {
    using Key = std::vector<std::pair<int, long>>;
    auto keyOf = [&](const std::string& rel) {
        Key key;
        fs::path dir = rootDir;
        std::size_t start = 0;
        for (;;) {
            const std::size_t slash = rel.find('/', start);
            const std::string part = rel.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
            const long index = ListingIndex(dir, part);
            EXPECT_GE(index, 0) << "not on disk: " << rel;
            if (slash == std::string::npos) {
                key.emplace_back(0, index);  // a file sorts before every subfolder of its folder
                return key;
            }
            key.emplace_back(1, index);
            dir /= part;
            start = slash + 1;
        }
    };
    std::vector<std::pair<Key, Recorded>> keyed;
    for (Recorded& file : files) keyed.emplace_back(keyOf(file.rel), std::move(file));
    std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<Recorded> ordered;
    for (auto& [key, file] : keyed) ordered.push_back(std::move(file));
    return ordered;
}

std::string Spelled(const std::string& rootText, const Recorded& file) {
    std::string path = rootText;
    if (!path.empty() && !path.ends_with(Sep())) path += Sep();
    std::string rel = file.recordedAs.empty() ? file.rel : file.recordedAs;
    if (Sep() != "/") std::replace(rel.begin(), rel.end(), '/', Sep()[0]);
    return path + rel;
}

std::string ExpectedSummary(const std::string& rootText, const fs::path& rootDir, std::vector<Recorded> files) {
    std::string text;
    for (const Recorded& file : InWalkOrder(rootDir, std::move(files))) {
        text += Md5Of(file.content) + " " + Spelled(rootText, file) + "\r\n";
    }
    return text;
}

std::string ExpectedDates(const std::string& rootText, const fs::path& rootDir, std::vector<Recorded> files) {
    std::string bytes;
    const auto number = [&](std::uint64_t value) {
        for (int k = 0; k < 8; ++k) bytes.push_back(static_cast<char>((value >> (8 * k)) & 0xFF));
    };
    std::uint64_t fingerprint = 14695981039346656037ull;
    const auto mix = [&](unsigned char byte) {
        fingerprint ^= byte;
        fingerprint *= 1099511628211ull;
    };
    files = InWalkOrder(rootDir, std::move(files));
    for (const Recorded& file : files) {
        const WriteTime date = WriteTimeOf(rootDir / file.rel);
        number(fs::file_size(rootDir / file.rel));
        number(static_cast<std::uint64_t>(date.seconds * 10000000 + date.nanoseconds / 100));
        for (const char digit : Md5Of(file.content)) mix(static_cast<unsigned char>(digit));
        for (const char c : Spelled(rootText, file)) {
            EXPECT_LT(static_cast<unsigned char>(c), 0x80) << "not an ASCII name: " << file.rel;
            mix(static_cast<unsigned char>(c));
            mix(0);
        }
        mix(0);
        mix(0);
    }
    number(files.size());
    number(fingerprint);
    return bytes + "SVDATES1";
}

void MakeTree(const fs::path& root, const std::vector<Recorded>& files) {
    for (const Recorded& file : files) WriteFile(root / file.rel, file.content);
}

std::vector<Recorded> Only(const std::vector<Recorded>& all, const std::vector<std::string>& rels) {
    std::vector<Recorded> chosen;
    for (const std::string& rel : rels) {
        const auto it = std::find_if(all.begin(), all.end(), [&](const Recorded& f) { return f.rel == rel; });
        if (it == all.end()) {
            ADD_FAILURE() << "no such file in the tree: " << rel;
            continue;
        }
        chosen.push_back(*it);
    }
    return chosen;
}

bool HasTemporaryFile(const fs::path& folder) {
    static const std::regex kTemporary(R"(\.sumvane-[0-9A-Za-z]{8}\.tmp)");
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(folder, ignored)) {
        if (std::regex_match(entry.path().filename().string(), kTemporary)) return true;
    }
    return false;
}

}  // namespace e2e
