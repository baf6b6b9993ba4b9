// Name comparison on UTF-16 text: exact, or under simple case folding with
// the C.UTF-8 locale's case tables (fixed, so the result does not depend on
// the user's LANG).
#include "name_compare.h"

#include <locale.h>
#include <wctype.h>

#include <cstddef>
#include <string_view>

#include "text.h"

namespace TesselLibrary {
namespace {

class CaseFolder {
public:
    CaseFolder() : locale_(newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{})) {}
    ~CaseFolder() {
        if (locale_ != locale_t{}) freelocale(locale_);
    }
    CaseFolder(const CaseFolder&) = delete;
    CaseFolder& operator=(const CaseFolder&) = delete;

    char32_t Fold(char32_t c) const {
        // Dotted capital I and dotless small i fold only under Turkic rules;
        // the round trip below would turn them into a plain "i".
        if (c == U'\u0130' || c == U'\u0131') return c;
        if (locale_ == locale_t{}) return (c >= U'A' && c <= U'Z') ? c + (U'a' - U'A') : c;
        // Upper then lower merges the letters that have several lower-case
        // forms (final sigma, long s, Kelvin sign) the way folding does.
        const wint_t upper = towupper_l(static_cast<wint_t>(c), locale_);
        return static_cast<char32_t>(towlower_l(upper, locale_));
    }

    // One code unit upper-cased on its own, as the NTFS table maps units;
    // a surrogate stays as it is.
    char16_t UpperUnit(char16_t c) const {
        if (c >= 0xD800 && c <= 0xDFFF) return c;
        if (locale_ == locale_t{}) return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - (u'a' - u'A')) : c;
        const wint_t upper = towupper_l(static_cast<wint_t>(c), locale_);
        return upper <= 0xFFFF ? static_cast<char16_t>(upper) : c;
    }

private:
    locale_t locale_;
};

const CaseFolder& Folder() {
    static const CaseFolder folder;
    return folder;
}

}  // namespace

bool NamesEqual(const std::u16string& a, const std::u16string& b) { return a == b; }

bool NamesEqualIgnoringCase(const std::u16string& a, const std::u16string& b) {
    // An unpaired surrogate stands for itself, so undecodable names still
    // compare.
    const CaseFolder& folder = Folder();
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (folder.Fold(NextCodePoint(a, i)) != folder.Fold(NextCodePoint(b, j))) return false;
    }
    return i == a.size() && j == b.size();
}

std::u16string NameKey(const std::u16string& name) { return name; }

bool ListedBefore(const std::u16string& a, const std::u16string& b) {
    const CaseFolder& folder = Folder();
    const std::size_t common = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < common; ++i) {
        const char16_t x = folder.UpperUnit(a[i]);
        const char16_t y = folder.UpperUnit(b[i]);
        if (x != y) return x < y;
    }
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
}

}  // namespace TesselLibrary
