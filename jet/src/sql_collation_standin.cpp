// TEMPORARY STAND-IN, NOT THE ENGINE'S COLLATION. Delete when collation.cpp
// lands from the collation work: it folds only ASCII and Latin-1 letter case
// so that the SQL layer can be built and tested before the real sort order
// exists. Its order is code-point order, not Access's.
#include <algorithm>

#include "collation.h"

namespace jet {

namespace {

char16_t upper(char16_t c) {
    if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 32);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 32);
    return c;
}

std::u16string_view trimmed(std::u16string_view s) {
    while (!s.empty() && s.back() == u' ') s.remove_suffix(1);
    return s.substr(0, std::min<std::size_t>(s.size(), 255));
}

}  // namespace

std::string textCompareKey(std::u16string_view text, SortOrder) {
    std::string key;
    for (char16_t c : trimmed(text)) {
        const char16_t u = upper(c);
        key += static_cast<char>(u >> 8);
        key += static_cast<char>(u & 0xFF);
    }
    return key;
}

std::string textSortKey(std::u16string_view text, SortOrder order) {
    return textCompareKey(text, order);
}

int compareText(std::u16string_view a, std::u16string_view b, SortOrder order) {
    return textCompareKey(a, order).compare(textCompareKey(b, order));
}

bool equalText(std::u16string_view a, std::u16string_view b, SortOrder order) {
    return compareText(a, b, order) == 0;
}

std::uint64_t foldChar(char16_t c, SortOrder) { return upper(c); }

}  // namespace jet
