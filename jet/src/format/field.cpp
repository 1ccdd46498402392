// Values as a column's field stores them.
#include "format/field.h"

#include <algorithm>
#include <cstring>

#include "format/long_value.h"
#include "format/text.h"
#include "format/uint128.h"

namespace jet {

namespace {

Bytes encodeText(const std::u16string& s, const ColumnDef& c, const Format& f) {
    if (f.unicodeText) return encodeJet4Text(s, (c.extraFlags & 0x01) != 0);
    Bytes out;
    out.reserve(s.size());
    for (char16_t ch : s) {
        const int b = cp1252Byte(ch);
        if (b < 0)
            throw Error("The text for column '" + c.column.name +
                            "' has a character that an Access 97 "
                            "database cannot store",
                        ErrorKind::Conversion);
        out.push_back(static_cast<std::uint8_t>(b));
    }
    return out;
}

template <class T>
const T& need(const Value& v, const ColumnDef& c) {
    if (auto* x = std::get_if<T>(&v.v)) return *x;
    throw Error("Data type mismatch for column '" + c.column.name + "'", ErrorKind::Conversion);
}

double asDouble(const Value& v, const ColumnDef& c) {
    if (auto* d = std::get_if<double>(&v.v)) return *d;
    if (auto* t = std::get_if<DateTime>(&v.v)) return t->days;
    if (auto* i = std::get_if<std::int64_t>(&v.v)) return static_cast<double>(*i);
    return need<double>(v, c);
}

// "-12.50" -> 17 bytes: sign, then the 128-bit magnitude as four 32-bit
// little-endian words, most significant first; scaled by the column.
Bytes encodeDecimal(const std::string& text, const ColumnDef& c) {
    bool negative = false;
    UInt128 mag;
    int fraction = -1;
    bool digits = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char ch = text[i];
        if (i == 0 && (ch == '-' || ch == '+')) {
            negative = ch == '-';
        } else if (ch == '.' && fraction < 0) {
            fraction = 0;
        } else if (ch >= '0' && ch <= '9') {
            if (fraction >= 0 && fraction >= c.scale) {
                if (ch != '0')
                    throw Error("Too many decimals for column '" + c.column.name + "'",
                                ErrorKind::Conversion);
                continue;
            }
            if (!mag.multiplyAdd(10, static_cast<unsigned>(ch - '0')))
                throw Error("Overflow in column '" + c.column.name + "'", ErrorKind::Arithmetic);
            digits = true;
            if (fraction >= 0) ++fraction;
        } else {
            throw Error("Not a decimal number: '" + text + "'", ErrorKind::Conversion);
        }
        if (mag.exceedsBits(96))
            throw Error("Overflow in column '" + c.column.name + "'", ErrorKind::Arithmetic);
    }
    if (!digits) throw Error("Not a decimal number: '" + text + "'", ErrorKind::Conversion);
    for (int k = std::max(fraction, 0); k < c.scale; ++k) {
        if (!mag.multiplyAdd(10, 0) || mag.exceedsBits(96))
            throw Error("Overflow in column '" + c.column.name + "'", ErrorKind::Arithmetic);
    }
    Bytes out;
    out.push_back(negative && !mag.isZero() ? 0x80 : 0x00);
    for (int wd = 3; wd >= 0; --wd) appendLE(out, mag.word(wd), 4);
    return out;
}

}  // namespace

std::string decimalText(ByteView d, int scale) {
    const bool negative = (d.u8(0) & 0x80) != 0;
    UInt128 mag;
    for (int i = 0; i < 4; ++i) mag.setWord(3 - i, d.u32(1 + 4 * i));
    const bool zero = mag.isZero();
    std::string digits;
    while (!mag.isZero()) digits.push_back(static_cast<char>('0' + mag.divide(10)));
    while (digits.size() < static_cast<std::size_t>(scale) + 1) digits.push_back('0');
    std::reverse(digits.begin(), digits.end());
    if (scale > 0) digits.insert(digits.end() - scale, '.');
    if (negative && !zero) digits.insert(digits.begin(), '-');
    return digits;
}

Value decodeScalar(const ColumnDef& c, ByteView d) {
    switch (c.column.type) {
        case ColumnType::Byte:
            return Value(std::int64_t{d.u8(0)});
        case ColumnType::Integer:
            return Value(std::int64_t{d.i16(0)});
        case ColumnType::Long:
            return Value(std::int64_t{d.i32(0)});
        case ColumnType::Currency:
            return Value(Currency{d.i64(0)});
        case ColumnType::Single:
            return Value(static_cast<double>(d.f32(0)));
        case ColumnType::Double:
            return Value(d.f64(0));
        case ColumnType::DateTime:
            return Value(DateTime{d.f64(0)});
        case ColumnType::Guid: {
            ByteView g = d.sub(0, 16);
            return Value(Bytes(g.data(), g.data() + 16));
        }
        case ColumnType::Numeric:
            return Value(Decimal{decimalText(d.sub(0, 17), c.scale)});
        default:
            return Value(Bytes(d.data(), d.data() + d.size()));
    }
}

Bytes encodeField(const Value& value, const ColumnDef& c, const Format& f, int codePage,
                  bool& present) {
    (void)codePage;
    present = !value.isNull();
    if (c.column.type == ColumnType::Boolean) {
        present = !value.isNull() && need<bool>(value, c);
        return {};
    }
    Bytes out;
    if (!present) {
        if (c.fixed()) out.assign(static_cast<std::size_t>(c.length), 0);
        return out;
    }
    switch (c.column.type) {
        case ColumnType::Byte:
            appendLE(out, static_cast<std::uint64_t>(need<std::int64_t>(value, c)), 1);
            break;
        case ColumnType::Integer:
            appendLE(out, static_cast<std::uint64_t>(need<std::int64_t>(value, c)), 2);
            break;
        case ColumnType::Long:
            appendLE(out, static_cast<std::uint64_t>(need<std::int64_t>(value, c)), 4);
            break;
        case ColumnType::Currency:
            appendLE(out, static_cast<std::uint64_t>(need<Currency>(value, c).scaled), 8);
            break;
        case ColumnType::Single: {
            const float x = static_cast<float>(asDouble(value, c));
            std::uint32_t bits;
            std::memcpy(&bits, &x, 4);
            appendLE(out, bits, 4);
            break;
        }
        case ColumnType::Double:
        case ColumnType::DateTime: {
            const double x = asDouble(value, c);
            std::uint64_t bits;
            std::memcpy(&bits, &x, 8);
            appendLE(out, bits, 8);
            break;
        }
        case ColumnType::Guid: {
            const Bytes& g = need<Bytes>(value, c);
            if (g.size() != 16) throw Error("A GUID has 16 bytes", ErrorKind::Conversion);
            out = g;
            break;
        }
        case ColumnType::Numeric:
            out = encodeDecimal(need<Decimal>(value, c).text, c);
            break;
        case ColumnType::Text: {
            const std::u16string& s = need<std::u16string>(value, c);
            if (c.fixed()) {
                // Fixed-length text: uncompressed, padded with blanks.
                std::u16string padded = s;
                const std::size_t chars =
                    static_cast<std::size_t>(c.length) / (f.unicodeText ? 2 : 1);
                if (padded.size() > chars)
                    throw Error("The text is too long for column '" + c.column.name + "'",
                                ErrorKind::InvalidArgument);
                padded.resize(chars, u' ');
                ColumnDef plain = c;
                plain.extraFlags = 0;
                out = encodeText(padded, plain, f);
            } else {
                out = encodeText(s, c, f);
                if (c.length > 0 && out.size() > static_cast<std::size_t>(c.length) &&
                    !(out.size() > 2 && out[0] == 0xFF && out[1] == 0xFE))
                    throw Error("The text is too long for column '" + c.column.name + "'",
                                ErrorKind::InvalidArgument);
            }
            break;
        }
        case ColumnType::Memo:
        case ColumnType::Ole: {
            const Bytes data = c.column.type == ColumnType::Memo
                                   ? encodeText(need<std::u16string>(value, c), c, f)
                                   : need<Bytes>(value, c);
            if (data.size() > kLvalInlineMax)
                throw Error("Writing long memo or OLE values (more than " +
                                std::to_string(kLvalInlineMax) + " bytes) is not supported",
                            ErrorKind::NotSupported);
            out = inlineLongValueField(data);
            break;
        }
        case ColumnType::Binary:
            out = need<Bytes>(value, c);
            break;
        default:
            throw Error("Writing this column type is not supported", ErrorKind::NotSupported);
    }
    if (c.fixed() && out.size() != static_cast<std::size_t>(c.length))
        throw Error("Value of the wrong size for column '" + c.column.name + "'",
                    ErrorKind::Corrupt);
    return out;
}

}  // namespace jet
