// Text encodings, name folding, the header's RC4 and Access's type names.
#include "format/text.h"

#include <array>
#include <cstring>

namespace jet {

namespace {

// Code page 1252 bytes 0x80..0x9F; the five bytes Windows leaves undefined
// map to the C1 controls of the same value, as Windows' own conversion does.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

int cp1252Byte(char16_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return c;
    for (std::size_t i = 0; i < kCp1252High.size(); ++i)
        if (kCp1252High[i] == c) return static_cast<int>(0x80 + i);
    return -1;
}

Bytes encodeJet4Text(const std::u16string& s, bool compressible) {
    // One byte per character, unless a 0 (which would switch modes) or a
    // character above U+00FF needs two.
    bool compress = compressible && s.size() >= 3;
    for (char16_t c : s)
        if (c == 0 || c > 0xFF) compress = false;
    Bytes out;
    if (compress) {
        out.reserve(2 + s.size());
        out.push_back(0xFF);
        out.push_back(0xFE);
        for (char16_t c : s) out.push_back(static_cast<std::uint8_t>(c));
        return out;
    }
    out.reserve(2 * s.size());
    for (char16_t c : s) appendU16(out, c);
    return out;
}

Bytes encodeNameText(const Format& f, const std::u16string& s) {
    if (f.unicodeText) return encodeJet4Text(s, false);
    Bytes out;
    out.reserve(s.size());
    for (char16_t c : s) {
        const int b = cp1252Byte(c);
        out.push_back(static_cast<std::uint8_t>(b < 0 ? '?' : b));
    }
    return out;
}

std::u16string utf8ToUtf16(const std::string& s) {
    std::u16string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        auto c = static_cast<unsigned char>(s[i]);
        std::uint32_t cp = 0xFFFD;
        std::size_t len = 1;
        if (c < 0x80) {
            cp = c;
        } else if ((c & 0xE0) == 0xC0) {
            len = 2;
        } else if ((c & 0xF0) == 0xE0) {
            len = 3;
        } else if ((c & 0xF8) == 0xF0) {
            len = 4;
        }
        if (len > 1) {
            if (i + len > s.size()) {
                len = 1;
            } else {
                cp = c & (0x7F >> len);
                for (std::size_t k = 1; k < len; ++k) {
                    auto cc = static_cast<unsigned char>(s[i + k]);
                    if ((cc & 0xC0) != 0x80) {
                        cp = 0xFFFD;
                        len = k;
                        break;
                    }
                    cp = (cp << 6) | (cc & 0x3F);
                }
            }
        }
        i += len;
        if (cp >= 0x10000 && cp <= 0x10FFFF) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp > 0xFFFF ? 0xFFFD : cp));
        }
    }
    return out;
}

std::string utf16ToUtf8(const std::u16string& s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        std::uint32_t cp = s[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
            s[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;  // an unpaired surrogate has no UTF-8 form
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

// J4 text field:
//   FF FE marker, then runs; a 0x00 byte switches between one byte per
//   character (U+0000..U+00FF) and UCS-2LE pairs. The string starts in
//   one-byte mode. Without the marker the whole field is UCS-2LE.
void decodeJet4Text(ByteView b, std::u16string& out) {
    out.clear();
    const std::size_t n = b.size();
    const std::uint8_t* d = b.data();
    if (n >= 2 && d[0] == 0xFF && d[1] == 0xFE) {
        // Runs separated by 0x00 bytes, alternating one byte per character
        // (first) and two. Each run is widened in one tight loop: most
        // texts are a single one-byte run.
        out.resize(n - 2);
        std::size_t length = 0;
        bool compressed = true;
        for (std::size_t i = 2; i < n;) {
            const void* zero = std::memchr(d + i, 0, n - i);
            const std::size_t end = zero ? static_cast<const std::uint8_t*>(zero) - d : n;
            if (compressed) {
                for (std::size_t k = i; k < end; ++k) out[length++] = d[k];
            } else {
                // Pairs may hold a 0x00 byte: read them as pairs up to the
                // first pair whose low byte is the separator.
                std::size_t k = i;
                while (k + 1 < n && d[k] != 0x00) {
                    out[length++] = static_cast<char16_t>(d[k] | (d[k + 1] << 8));
                    k += 2;
                }
                if (k + 1 == n && d[k] != 0x00) break;  // a dangling half character
                i = k;
                if (i < n) {
                    compressed = !compressed;
                    ++i;
                }
                continue;
            }
            i = end;
            if (i < n) {
                compressed = !compressed;
                ++i;
            }
        }
        out.resize(length);
        return;
    }
    out.resize(n / 2);
    for (std::size_t i = 0; i < n / 2; ++i)
        out[i] = static_cast<char16_t>(d[2 * i] | (d[2 * i + 1] << 8));
}

std::u16string decodeJet4Text(ByteView b) {
    std::u16string out;
    decodeJet4Text(b, out);
    return out;
}

void decodeCodePageText(ByteView b, int codePage, std::u16string& out) {
    out.resize(b.size());
    const std::uint8_t* d = b.data();
    const bool cp1252 = codePage == 1252 || codePage == 0;
    for (std::size_t i = 0; i < b.size(); ++i) {
        std::uint8_t c = d[i];
        out[i] = (cp1252 && c >= 0x80 && c < 0xA0) ? kCp1252High[c - 0x80] : char16_t{c};
    }
}

std::u16string decodeCodePageText(ByteView b, int codePage) {
    std::u16string out;
    decodeCodePageText(b, codePage, out);
    return out;
}

std::u16string foldName(const std::u16string& s) {
    std::u16string out(s);
    for (char16_t& c : out) {
        if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) ||
            (c >= 0x391 && c <= 0x3AB) || (c >= 0x410 && c <= 0x42F)) {
            c = static_cast<char16_t>(c + 0x20);
        } else if (c >= 0x400 && c <= 0x40F) {
            c = static_cast<char16_t>(c + 0x50);
        } else if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 &&
                   c != 0x149 && c != 0x17F) {
            // Latin Extended-A pairs upper/lower as even/odd, except around
            // the dotless i and kra, where the pairing flips to odd/even.
            bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
            if (oddUpper ? (c % 2 == 1) : (c % 2 == 0)) c = static_cast<char16_t>(c + 1);
        } else if (c == 0x178) {
            c = 0xFF;
        }
    }
    return out;
}

void rc4(const std::uint8_t* key, std::size_t keyLength, std::uint8_t* data, std::size_t n) {
    std::array<std::uint8_t, 256> s{};
    for (int i = 0; i < 256; ++i) s[i] = static_cast<std::uint8_t>(i);
    for (int i = 0, j = 0; i < 256; ++i) {
        j = (j + s[i] + key[i % keyLength]) & 0xFF;
        std::swap(s[i], s[j]);
    }
    for (std::size_t k = 0, i = 0, j = 0; k < n; ++k) {
        i = (i + 1) & 0xFF;
        j = (j + s[i]) & 0xFF;
        std::swap(s[i], s[j]);
        data[k] ^= s[(s[i] + s[j]) & 0xFF];
    }
}

std::string typeName(ColumnType type, bool autoNumber) {
    switch (type) {
        case ColumnType::Boolean:
            return "Yes/No";
        case ColumnType::Byte:
            return "Byte";
        case ColumnType::Integer:
            return "Integer";
        case ColumnType::Long:
            return autoNumber ? "AutoNumber" : "Long Integer";
        case ColumnType::Currency:
            return "Currency";
        case ColumnType::Single:
            return "Single";
        case ColumnType::Double:
            return "Double";
        case ColumnType::DateTime:
            return "Date/Time";
        case ColumnType::Binary:
            return "Binary";
        case ColumnType::Text:
            return "Text";
        case ColumnType::Ole:
            return "OLE Object";
        case ColumnType::Memo:
            return "Memo";
        case ColumnType::Guid:
            return "Replication ID";
        case ColumnType::Numeric:
            return "Decimal";
    }
    return "Binary";
}

}  // namespace jet
