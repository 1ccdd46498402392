// Values on their way into a column: the conversions an UPDATE applies
// before anything is encoded, with Access's ranges and rounding.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>

#include "sql/eval.h"
#include "sql/select.h"

namespace jet::sql {

namespace {

[[noreturn]] void overflow(const Column& col, const std::string& why) {
    throw Error("Overflow: " + why + " does not fit column '" + col.name + "' (" +
                    typeName(col.type, col.autoNumber) + ")",
                ErrorKind::Arithmetic);
}

// The shortest decimal text that reads back as d, without an exponent.
std::string fixedText(double d) {
    char buf[400];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::fixed);
    if (ec != std::errc()) throw Error("A number too long to write out", ErrorKind::Arithmetic);
    return std::string(buf, end);
}

std::string currencyText(std::int64_t scaled) {
    const std::uint64_t magnitude =
        scaled < 0 ? 0 - static_cast<std::uint64_t>(scaled) : static_cast<std::uint64_t>(scaled);
    std::string frac = std::to_string(magnitude % 10000);
    frac.insert(0, 4 - frac.size(), '0');
    return (scaled < 0 ? "-" : "") + std::to_string(magnitude / 10000) + "." + frac;
}

}  // namespace

Currency currencyFromDouble(double value, const Column& col) {
    // Rounded half to even at the fourth decimal, as Windows turns a double
    // into a currency. The whole part and the fraction of a double are both
    // exact, so the range check is exact too: scaling the whole double by
    // 10,000 first could round a value just beyond the range into it.
    if (!std::isfinite(value)) overflow(col, "the value");
    const double whole = std::trunc(value);
    constexpr double kWholeLimit = 922337203685477.0;
    if (whole > kWholeLimit || whole < -kWholeLimit) overflow(col, "the value " + fixedText(value));
    const auto fraction = static_cast<std::int64_t>(std::nearbyint((value - whole) * 10000.0));
    const std::int64_t scaled = static_cast<std::int64_t>(whole) * 10000;
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    if ((fraction > 0 && scaled > kMax - fraction) || (fraction < 0 && scaled < kMin - fraction))
        overflow(col, "the value " + fixedText(value));
    return Currency{scaled + fraction};
}

Decimal decimalForColumn(const std::string& text, const Column& col) {
    const int precision = col.precision >= 1 && col.precision <= 28 ? col.precision : 28;
    const int scale = std::clamp(col.scale, 0, precision);
    auto notNumber = [&]() -> Decimal {
        throw Error("Data type mismatch: '" + text + "' is not a number for column '" + col.name +
                        "' (Decimal)",
                    ErrorKind::Conversion);
    };
    // [sign] digits [. digits] [e [sign] digits]
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    std::string whole, frac;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) whole += text[i++];
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])))
            frac += text[i++];
    }
    if (whole.empty() && frac.empty()) return notNumber();
    long exponent = 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        auto [p, ec] = std::from_chars(text.data() + i + (i < text.size() && text[i] == '+'),
                                       text.data() + text.size(), exponent);
        if (ec != std::errc() || exponent > 100 || exponent < -100) return notNumber();
        i = static_cast<std::size_t>(p - text.data());
    }
    if (i != text.size()) return notNumber();
    // Move the point by the exponent.
    std::string digits = whole + frac;
    long point = static_cast<long>(whole.size()) + exponent;
    if (point < 0) {
        digits.insert(0, static_cast<std::size_t>(-point), '0');
        point = 0;
    }
    if (point > static_cast<long>(digits.size()))
        digits.append(static_cast<std::size_t>(point) - digits.size(), '0');
    whole = digits.substr(0, static_cast<std::size_t>(point));
    frac = digits.substr(static_cast<std::size_t>(point));
    whole.erase(0, std::min(whole.find_first_not_of('0'), whole.size()));
    frac.erase(frac.find_last_not_of('0') + 1);

    const std::string kind =
        "Decimal(" + std::to_string(precision) + "," + std::to_string(scale) + ")";
    if (frac.size() > static_cast<std::size_t>(scale))
        throw Error("The value " + text + " has more digits after the decimal point (" +
                        std::to_string(frac.size()) + ") than column '" + col.name + "' (" + kind +
                        ") keeps (" + std::to_string(scale) + ")",
                    ErrorKind::Arithmetic);
    if (whole.size() > static_cast<std::size_t>(precision - scale))
        overflow(col, "the value " + text + " (" + std::to_string(whole.size()) +
                          " digits before the decimal point, " + kind + " allows " +
                          std::to_string(precision - scale) + ")");
    frac.append(static_cast<std::size_t>(scale) - frac.size(), '0');
    const bool zero = whole.empty() && frac.find_first_not_of('0') == std::string::npos;
    std::string out = (negative && !zero ? "-" : "") + (whole.empty() ? "0" : whole);
    if (scale > 0) out += "." + frac;
    return Decimal{out};
}

Value convertForColumn(const Value& v, const ColumnDef& def) {
    const Column& col = def.column;
    if (v.isNull()) return v;
    auto mismatch = [&]() -> Value {
        throw Error("Data type mismatch: the value cannot be stored in column '" + col.name +
                        "' (" + typeName(col.type, col.autoNumber) + ")",
                    ErrorKind::Conversion);
    };
    const auto* text = std::get_if<std::u16string>(&v.v);
    std::optional<long double> number;
    if (auto b = std::get_if<bool>(&v.v)) number = *b ? -1 : 0;
    if (auto i = std::get_if<std::int64_t>(&v.v)) number = static_cast<long double>(*i);
    if (auto d = std::get_if<double>(&v.v)) number = *d;
    if (auto c = std::get_if<Currency>(&v.v))
        number = static_cast<long double>(c->scaled) / 10000.0L;
    auto integer = [&](long double lo, long double hi) -> Value {
        if (!number) return mismatch();
        const long double r = std::nearbyint(*number);  // round half to even, as Jet does
        if (r < lo || r > hi)
            throw Error("Overflow: the value does not fit column '" + col.name + "'",
                        ErrorKind::Arithmetic);
        return static_cast<std::int64_t>(r);
    };
    switch (col.type) {
        case ColumnType::Text:
        case ColumnType::Memo: {
            std::u16string s =
                text ? *text : (number ? valueAsText(v) : (mismatch(), std::u16string()));
            if (col.type == ColumnType::Text && col.size > 0 &&
                s.size() > static_cast<std::size_t>(col.size))
                throw Error("The field '" + col.name +
                                "' is too small to accept the amount of data (" +
                                std::to_string(s.size()) + " characters, at most " +
                                std::to_string(col.size) + ")",
                            ErrorKind::InvalidArgument);
            return s;
        }
        case ColumnType::Boolean:
            if (!number) return mismatch();
            return *number != 0;
        case ColumnType::Byte:
            return integer(0, 255);
        case ColumnType::Integer:
            return integer(-32768, 32767);
        case ColumnType::Long:
            return integer(std::numeric_limits<std::int32_t>::min(),
                           std::numeric_limits<std::int32_t>::max());
        case ColumnType::Currency: {
            if (auto c = std::get_if<Currency>(&v.v)) return *c;
            if (auto i = std::get_if<std::int64_t>(&v.v)) {
                constexpr std::int64_t kLimit = std::numeric_limits<std::int64_t>::max() / 10000;
                if (*i > kLimit || *i < -kLimit) overflow(col, "the value " + std::to_string(*i));
                return Currency{*i * 10000};
            }
            if (auto b = std::get_if<bool>(&v.v)) return Currency{*b ? -10000 : 0};
            if (auto d = std::get_if<double>(&v.v)) return currencyFromDouble(*d, col);
            if (auto d = std::get_if<Decimal>(&v.v)) {
                Column four = col;
                four.precision = 28;
                four.scale = 4;
                const Decimal exact = decimalForColumn(d->text, four);
                std::string digits = exact.text;
                const bool negative = !digits.empty() && digits[0] == '-';
                if (negative) digits.erase(0, 1);
                digits.erase(digits.find('.'), 1);
                std::uint64_t magnitude = 0;
                auto [p, ec] =
                    std::from_chars(digits.data(), digits.data() + digits.size(), magnitude);
                const std::uint64_t limit =
                    negative ? 9223372036854775808ull : 9223372036854775807ull;
                if (ec != std::errc() || p != digits.data() + digits.size() || magnitude > limit)
                    overflow(col, "the value " + d->text);
                return Currency{negative ? static_cast<std::int64_t>(0 - magnitude)
                                         : static_cast<std::int64_t>(magnitude)};
            }
            return mismatch();
        }
        case ColumnType::Numeric: {
            if (auto d = std::get_if<Decimal>(&v.v)) return decimalForColumn(d->text, col);
            if (auto i = std::get_if<std::int64_t>(&v.v))
                return decimalForColumn(std::to_string(*i), col);
            if (auto b = std::get_if<bool>(&v.v)) return decimalForColumn(*b ? "-1" : "0", col);
            if (auto d = std::get_if<double>(&v.v)) {
                if (!std::isfinite(*d)) overflow(col, "the value");
                return decimalForColumn(fixedText(*d), col);
            }
            if (auto c = std::get_if<Currency>(&v.v))
                return decimalForColumn(currencyText(c->scaled), col);
            return mismatch();
        }
        case ColumnType::Single:
        case ColumnType::Double:
            if (auto t = std::get_if<DateTime>(&v.v)) return t->days;
            if (auto d = std::get_if<Decimal>(&v.v)) {
                double x = 0;
                auto [p, ec] = std::from_chars(d->text.data(), d->text.data() + d->text.size(), x);
                if (ec != std::errc()) return mismatch();
                return x;
            }
            if (!number) return mismatch();
            if (col.type == ColumnType::Single && std::isfinite(static_cast<double>(*number)) &&
                std::fabs(static_cast<double>(*number)) > std::numeric_limits<float>::max())
                overflow(col, "the value " + fixedText(static_cast<double>(*number)));
            return static_cast<double>(*number);
        case ColumnType::DateTime:
            if (auto t = std::get_if<DateTime>(&v.v)) return *t;
            if (!number) return mismatch();
            return DateTime{static_cast<double>(*number)};
        default:
            if (v.v.index() == Value(Bytes{}).v.index()) return v;
            return mismatch();
    }
}

}  // namespace jet::sql
