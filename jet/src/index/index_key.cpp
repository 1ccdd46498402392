#include "index/index_key.h"

#include <bit>
#include <cmath>
#include <cstring>

#include "format/uint128.h"

namespace jet {
namespace {

constexpr char kAscValue = char(0x7F);
constexpr char kAscNull = char(0x00);
constexpr char kDescValue = char(0x80);
constexpr char kDescNull = char(0xFF);

[[noreturn]] void mismatch(ColumnType type) {
    throw Error("A value does not fit an index column of type code " + std::to_string(int(type)),
                ErrorKind::InvalidArgument);
}

std::int64_t asInteger(const Value& v, ColumnType type) {
    if (auto* i = std::get_if<std::int64_t>(&v.v)) return *i;
    if (auto* b = std::get_if<bool>(&v.v)) return *b ? -1 : 0;
    mismatch(type);
}

double asDouble(const Value& v, ColumnType type) {
    if (auto* d = std::get_if<double>(&v.v)) return *d;
    if (auto* t = std::get_if<DateTime>(&v.v)) return t->days;
    if (auto* i = std::get_if<std::int64_t>(&v.v)) return double(*i);
    mismatch(type);
}

// Big-endian two's complement with the sign bit flipped, so that signed
// values order as unsigned bytes.
void appendSigned(std::string& out, std::int64_t value, int width) {
    auto u = static_cast<std::uint64_t>(value);
    for (int i = width - 1; i >= 0; --i) {
        auto b = std::uint8_t(u >> (8 * i));
        if (i == width - 1) b ^= 0x80;
        out += char(b);
    }
}

// IEEE bytes big-endian; positives get the sign bit set, negatives are
// inverted entirely, which makes the byte order the numeric order.
void appendFloatBits(std::string& out, std::uint64_t bits, int width) {
    bool negative = (bits >> (8 * width - 1)) & 1;
    for (int i = width - 1; i >= 0; --i) {
        auto b = std::uint8_t(bits >> (8 * i));
        if (negative) {
            b = std::uint8_t(~b);
        } else if (i == width - 1) {
            b ^= 0x80;
        }
        out += char(b);
    }
}

void invert(std::string& s, std::size_t from) {
    for (std::size_t i = from; i < s.size(); ++i) s[i] = char(~std::uint8_t(s[i]));
}

// Binary and GUID: 8-byte groups, each but the last followed by 09; the last
// is zero-padded and followed by its real length. Descending inverts data
// and the final length, never the 09 markers. A zero-length value has no
// group at all.
void appendGrouped(std::string& out, const Bytes& data, bool descending) {
    std::size_t n = data.size();
    if (n == 0) return;  // an empty value is its flag byte alone
    std::size_t i = 0;
    do {
        std::size_t len = std::min<std::size_t>(8, n - i);
        bool lastGroup = i + len >= n;
        for (std::size_t j = 0; j < 8; ++j) {
            std::uint8_t b = j < len ? data[i + j] : 0;
            out += char(descending ? std::uint8_t(~b) : b);
        }
        if (lastGroup) {
            out += char(descending ? std::uint8_t(~len) : std::uint8_t(len));
        } else {
            out += char(0x09);
        }
        i += len;
    } while (i < n);
}

// Decimal: 17 bytes big-endian (sign, then the 128-bit unscaled magnitude).
// Jet's legacy rule inverts all of them for a negative ascending or a
// positive descending value, then overwrites the sign byte with 00 for
// negative and FF for positive; no further inversion for descending. (It
// misorders negative values in descending indexes, as Access does.)
void appendDecimal(std::string& out, const Decimal& d, int scale, bool descending) {
    std::string_view t = d.text;
    bool negative = false;
    if (!t.empty() && (t[0] == '-' || t[0] == '+')) {
        negative = t[0] == '-';
        t.remove_prefix(1);
    }
    std::string intPart(t.substr(0, t.find('.')));
    std::string frac(t.find('.') == std::string_view::npos ? "" : t.substr(t.find('.') + 1));
    if (scale >= 0) {
        while (frac.size() < std::size_t(scale)) frac += '0';
        if (frac.find_first_not_of('0', std::size_t(scale)) != std::string::npos)
            throw Error("Decimal value has more digits than its column's scale",
                        ErrorKind::InvalidArgument);
        frac.resize(std::size_t(scale));
    }
    UInt128 mag;
    for (char c : intPart + frac) {
        if (c < '0' || c > '9' || !mag.multiplyAdd(10, unsigned(c - '0')))
            throw Error("Not a decimal value: " + d.text, ErrorKind::InvalidArgument);
    }
    if (mag.isZero()) negative = false;
    std::uint8_t bytes[17];
    bytes[0] = negative ? 0x80 : 0x00;
    for (int i = 0; i < 16; ++i) bytes[1 + i] = mag.byte(15 - i);
    if (negative != descending)
        for (auto& b : bytes) b = std::uint8_t(~b);
    bytes[0] = negative ? 0x00 : 0xFF;
    out.append(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

const std::u16string& asText(const Value& v, ColumnType type) {
    if (auto* s = std::get_if<std::u16string>(&v.v)) return *s;
    mismatch(type);
}

}  // namespace

void appendIndexKey(std::string& out, const Value& v, ColumnType type, bool descending,
                    SortOrder order, int scale) {
    // Yes/No is never null in a key: a missing value is False.
    if (v.isNull() && type != ColumnType::Boolean) {
        out += descending ? kDescNull : kAscNull;
        return;
    }
    out += descending ? kDescValue : kAscValue;
    const std::size_t start = out.size();
    switch (type) {
        case ColumnType::Boolean: {
            bool b = false;
            if (auto* p = std::get_if<bool>(&v.v)) {
                b = *p;
            } else if (!v.isNull()) {
                b = asInteger(v, type) != 0;
            }
            out += b ? char(0x00) : char(0xFF);
            break;
        }
        case ColumnType::Byte: {
            std::int64_t i = asInteger(v, type);
            if (i < 0 || i > 255) mismatch(type);
            out += char(std::uint8_t(i));
            break;
        }
        case ColumnType::Integer:
            appendSigned(out, asInteger(v, type), 2);
            break;
        case ColumnType::Long:
            appendSigned(out, asInteger(v, type), 4);
            break;
        case ColumnType::Currency: {
            std::int64_t scaled = 0;
            if (auto* c = std::get_if<Currency>(&v.v)) {
                scaled = c->scaled;
            } else {
                const std::int64_t whole = asInteger(v, type);
                if (whole > INT64_MAX / 10000 || whole < -(INT64_MAX / 10000)) mismatch(type);
                scaled = whole * 10000;
            }
            appendSigned(out, scaled, 8);
            break;
        }
        case ColumnType::Single: {
            float f = static_cast<float>(asDouble(v, type));
            appendFloatBits(out, std::bit_cast<std::uint32_t>(f), 4);
            break;
        }
        case ColumnType::Double:
        case ColumnType::DateTime:
            appendFloatBits(out, std::bit_cast<std::uint64_t>(asDouble(v, type)), 8);
            break;
        case ColumnType::Text:
        case ColumnType::Memo: {
            out += textSortKey(asText(v, type), order);
            if (descending) {
                invert(out, start);
                // General text keys close a descending value with one more 00.
                if (order == SortOrder::General4) out += char(0x00);
            }
            return;
        }
        case ColumnType::Guid:
        case ColumnType::Binary: {
            auto* bytes = std::get_if<Bytes>(&v.v);
            if (!bytes || (type == ColumnType::Guid && bytes->size() != 16)) mismatch(type);
            Bytes data = *bytes;
            if (type == ColumnType::Guid) {
                // Stored Data1-Data3 are little-endian; keys use text order.
                std::swap(data[0], data[3]);
                std::swap(data[1], data[2]);
                std::swap(data[4], data[5]);
                std::swap(data[6], data[7]);
            }
            appendGrouped(out, data, descending);
            return;
        }
        case ColumnType::Numeric: {
            auto* d = std::get_if<Decimal>(&v.v);
            if (!d) mismatch(type);
            appendDecimal(out, *d, scale, descending);
            return;
        }
        default:
            throw Error("Index keys on columns of type code " + std::to_string(int(type)) +
                            " are not supported",
                        ErrorKind::NotSupported);
    }
    if (descending) invert(out, start);
}

std::string indexKey(const std::vector<Value>& values, const std::vector<KeyColumn>& columns,
                     SortOrder order) {
    if (values.size() != columns.size())
        throw Error("Index key: one value per column expected", ErrorKind::InvalidArgument);
    std::string out;
    for (std::size_t i = 0; i < values.size(); ++i)
        appendIndexKey(out, values[i], columns[i].type, columns[i].descending, order,
                       columns[i].scale);
    return out;
}

}  // namespace jet
