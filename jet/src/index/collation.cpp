#include "index/collation.h"

#include <algorithm>
#include <iterator>
#include <vector>

namespace jet {
namespace {

// Character classes of the code tables:
//   'X' ignored: contributes nothing and takes no position
//   'S' simple: primary bytes only
//   'G' (Jet 3) simple, but counts as a placeholder before a later accent
//   'I' accented: primary bytes of the base letter plus accent byte(s)
//   'U' unprintable: no primary; its code and position go to a later section
//   'P' modifier: adds its value to the previous accent byte
//   'Z' (Jet 4, kana) primary, optional accent and a 2-bit flag (aux: 2 or 3)
struct CodeRun {
    char16_t first;
    char16_t last;
    char cls;
    std::uint8_t primaryLength;
    std::uint8_t step;  // primary rises by this per character of the run
    std::uint32_t primary;
    std::uint8_t extraLength;
    std::uint16_t extra;
    std::uint8_t aux;
};

struct Code97 {
    char cls;
    std::uint8_t primaryLength;
    std::uint16_t primary;
    std::uint8_t accent;  // 4-bit accent code of class 'I'
};

#include "index/collation_tables.inc"

// Longest text that takes part in a key; Access ignores the rest.
constexpr std::size_t kMaxKeyChars = 255;

// Codes of one character, decoded from its run.
struct CharCode {
    char cls = 'X';
    std::uint8_t primaryLength = 0;
    std::uint8_t primary[4] = {};
    std::uint8_t extraLength = 0;
    std::uint8_t extra[2] = {};
    std::uint8_t aux = 0;
};

// False for characters without a table line (the surrogates).
bool lookupRun4(char16_t c, CharCode& out) {
    auto it = std::upper_bound(std::begin(kGeneral4Runs), std::end(kGeneral4Runs), c,
                               [](char16_t ch, const CodeRun& r) { return ch < r.first; });
    if (it == std::begin(kGeneral4Runs)) return false;
    const CodeRun& r = *std::prev(it);
    if (c > r.last) return false;
    out.cls = r.cls;
    out.primaryLength = r.primaryLength;
    std::uint32_t p = r.primary + std::uint32_t(r.step) * std::uint32_t(c - r.first);
    for (int i = 0; i < r.primaryLength; ++i)
        out.primary[i] = std::uint8_t(p >> (8 * (r.primaryLength - 1 - i)));
    out.extraLength = r.extraLength;
    for (int i = 0; i < r.extraLength; ++i)
        out.extra[i] = std::uint8_t(r.extra >> (8 * (r.extraLength - 1 - i)));
    out.aux = r.aux;
    return true;
}

// Latin-1, which nearly all text of the store's databases is, without the search.
struct Latin1Codes {
    CharCode codes[256];
    Latin1Codes() {
        for (char16_t c = 0; c < 256; ++c) lookupRun4(c, codes[c]);
    }
};
const Latin1Codes kLatin1;

bool lookup4(char16_t c, CharCode& out) {
    if (c < 256) {
        out = kLatin1.codes[c];
        return true;
    }
    return lookupRun4(c, out);
}

[[noreturn]] void noCode(char16_t c) {
    static const char* digits = "0123456789ABCDEF";
    std::string hex = "U+";
    for (int shift = 12; shift >= 0; shift -= 4) hex += digits[(c >> shift) & 0xF];
    throw Error("The character " + hex + " has no sort code in the database's sort order",
                ErrorKind::NotSupported);
}

std::u16string_view prepare(std::u16string_view s) {
    if (s.size() > kMaxKeyChars) s = s.substr(0, kMaxKeyChars);
    while (!s.empty() && s.back() == u' ') s.remove_suffix(1);
    return s;
}

// A character without a code, when tolerated: it sorts after every known
// primary (the highest of either table is FF 33) and differs from every
// other character.
void appendFallbackPrimary(std::string& out, char16_t c) {
    out += char(0xFF);
    out += char(0xFF);
    out += char(c >> 8);
    out += char(c & 0xFF);
}

// Jet 4 General (legacy). Sections, in order: primary bytes, 01, accent
// slots, then (if any kana flags or unprintables) 01 01, packed kana flags
// with their fixed suffix, and the unprintables with their positions; 00.
std::string key4(std::u16string_view text, bool strict) {
    text = prepare(text);
    std::string primary;
    primary.reserve(2 * text.size() + 8);
    std::string extra;            // accent slots, 02 = "no accent"
    std::size_t extraChars = 0;   // positions the accent section covers
    std::size_t extraPrefix = 0;  // 1 when the section began with a modifier
    bool haveExtra = false;
    std::string unprintables;
    std::vector<std::uint8_t> kana;
    std::size_t position = 0;  // characters that wrote primary bytes so far

    auto fillTo = [&](std::size_t pos) {
        if (extraChars < pos) {
            extra.append(pos - extraChars, char(0x02));
            extraChars = pos;
        }
    };

    for (char16_t c : text) {
        CharCode code;
        if (!lookup4(c, code)) {
            if (strict) noCode(c);
            appendFallbackPrimary(primary, c);
            ++position;
            continue;
        }
        std::size_t pos = position;
        if (code.primaryLength > 0) {
            primary.append(reinterpret_cast<const char*>(code.primary), code.primaryLength);
            ++position;
        }
        switch (code.cls) {
            case 'I':
            case 'Z':
                if (code.extraLength > 0) {
                    haveExtra = true;
                    fillTo(pos);
                    extra.append(reinterpret_cast<const char*>(code.extra), code.extraLength);
                    ++extraChars;
                }
                if (code.cls == 'Z') kana.push_back(code.aux);
                break;
            case 'P':
                haveExtra = true;
                fillTo(pos);
                if (!extra.empty()) {
                    extra.back() = char(std::uint8_t(extra.back()) + code.aux);
                } else {
                    extra += char(code.aux);
                    extraPrefix = 1;
                }
                break;
            case 'U': {
                // The position is counted in accent-section slots, written or not.
                std::size_t p = pos;
                if (haveExtra) p = extra.size() + (pos - extraChars) - extraPrefix;
                unsigned offset = 0x8000u | unsigned(7 + 4 * p);
                unprintables += char((offset >> 8) & 0xFF);
                unprintables += char(offset & 0xFF);
                unprintables += char(0x06);
                unprintables += char(code.aux);
                break;
            }
            default:
                break;
        }
    }

    std::string out = std::move(primary);
    out += char(0x01);
    while (!extra.empty() && std::uint8_t(extra.back()) <= 0x02) extra.pop_back();
    out += extra;
    if (!kana.empty() || !unprintables.empty()) {
        out += "\x01\x01";
        if (!kana.empty()) {
            while (!kana.empty() && kana.back() == 3) kana.pop_back();
            for (std::size_t i = 0; i < kana.size(); i += 3) {
                std::uint8_t b = 0x80;
                for (std::size_t j = 0; j < 3 && i + j < kana.size(); ++j)
                    b |= std::uint8_t(kana[i + j] << (2 * (2 - j)));
                out += char(b);
            }
            out += "\xFF\x02\x80\xFF\x80";
            if (!unprintables.empty()) out += char(0xFF);
        }
        if (!unprintables.empty()) {
            out += char(0x01);
            out += unprintables;
        }
    }
    out += char(0x00);
    return out;
}

// Jet 3 General: primary bytes, then either 00 or a stream of 4-bit values
// (0, for each accented character a 2 per significant letter since the
// previous one and its accent code, then 0), padded to whole bytes.
std::string key97(std::u16string_view text, bool strict) {
    text = prepare(text);
    std::string out;
    std::vector<std::uint8_t> nibbles;
    std::size_t significant = 0;
    for (char16_t c : text) {
        int b = cp1252Byte(c);
        if (b < 0) {
            if (strict) noCode(c);
            appendFallbackPrimary(out, c);
            continue;
        }
        const Code97& code = kGeneral97Codes[b];
        if (code.primaryLength == 2) out += char(code.primary >> 8);
        if (code.primaryLength >= 1) out += char(code.primary & 0xFF);
        if (code.cls == 'G') {
            ++significant;
        } else if (code.cls == 'I') {
            if (nibbles.empty()) nibbles.push_back(0);
            nibbles.insert(nibbles.end(), significant, 2);
            significant = 0;
            nibbles.push_back(code.accent);
        }
    }
    if (nibbles.empty()) {
        out += char(0x00);
        return out;
    }
    nibbles.push_back(0);
    if (nibbles.size() % 2) nibbles.push_back(0);
    for (std::size_t i = 0; i < nibbles.size(); i += 2)
        out += char((nibbles[i] << 4) | nibbles[i + 1]);
    return out;
}

}  // namespace

std::string textSortKey(std::u16string_view text, SortOrder order) {
    return order == SortOrder::General97 ? key97(text, true) : key4(text, true);
}

std::string textCompareKey(std::u16string_view text, SortOrder order) {
    return order == SortOrder::General97 ? key97(text, false) : key4(text, false);
}

int compareText(std::u16string_view a, std::u16string_view b, SortOrder order) {
    int r = textCompareKey(a, order).compare(textCompareKey(b, order));
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

bool equalText(std::u16string_view a, std::u16string_view b, SortOrder order) {
    return textCompareKey(a, order) == textCompareKey(b, order);
}

std::uint64_t foldChar(char16_t c, SortOrder order) {
    // Layout: primary (32 bits) << 32 | accent (16) << 16 | aux << 8 |
    // class tag << 5 | accent length << 3 | primary length.
    constexpr std::uint64_t kUnknownTag = 7;
    auto unknown = [&] { return (std::uint64_t(c) << 32) | (kUnknownTag << 5); };
    if (order == SortOrder::General97) {
        int b = cp1252Byte(c);
        if (b < 0) return unknown();
        const Code97& code = kGeneral97Codes[b];
        if (code.cls == 'X') return 0;
        return (std::uint64_t(code.primary) << 32) | (std::uint64_t(code.accent) << 16) |
               (std::uint64_t(code.cls == 'I' ? 2 : 1) << 5) | code.primaryLength;
    }
    CharCode code;
    if (!lookup4(c, code)) return unknown();
    std::uint64_t p = 0;
    for (int i = 0; i < code.primaryLength; ++i) p = (p << 8) | code.primary[i];
    std::uint64_t e = 0;
    for (int i = 0; i < code.extraLength; ++i) e = (e << 8) | code.extra[i];
    std::uint64_t tag = 0;
    switch (code.cls) {
        case 'X':
            return 0;
        case 'S':
            tag = 1;
            break;
        case 'I':
            tag = 2;
            break;
        case 'U':
            tag = 3;
            break;
        case 'P':
            tag = 4;
            break;
        default:
            tag = 5;
            break;
    }
    return (p << 32) | (e << 16) | (std::uint64_t(code.aux) << 8) | (tag << 5) |
           (std::uint64_t(code.extraLength) << 3) | code.primaryLength;
}

}  // namespace jet
