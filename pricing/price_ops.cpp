#include "price_ops.h"

#include <array>
#include <charconv>
#include <cmath>

namespace pricing {
namespace {

// An inf or NaN must never reach a box or the database: refuse it where it
// appears. Every operation below ends here, so an overflowing intermediate
// (which can only stay infinite or turn into NaN) is caught as well.
double checked(double value) {
    if (std::isnan(value)) throw ArithmeticError("Invalid floating point operation");
    if (std::isinf(value)) throw ArithmeticError("Floating point overflow");
    return value;
}

double divide(double dividend, double divisor) {
    if (divisor == 0) {
        if (dividend == 0) throw ArithmeticError("Invalid floating point operation");
        throw ArithmeticError("Floating point division by zero");
    }
    return checked(dividend / divisor);
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A magnitude as its 18 most significant decimal digits: value = d0.d1...d17 x 10^exponent.
struct Significand18 {
    std::array<int, 18> digits{};
    int exponent = 0;
};

// Rounds |value| (finite, non-zero) to 18 significant digits, ties to even,
// working on its exact decimal expansion: a double has at most 767
// significant decimal digits, so 780 decimals in scientific form are exact
// and the tie test below sees every digit rather than a pre-rounded one.
// to_chars, unlike printf, ignores the C locale the GUI toolkit may have set.
Significand18 roundTo18Digits(double magnitude) {
    constexpr int kExactDigits = 780;
    std::array<char, kExactDigits + 16> buf{};
    const auto [end, ec] = std::to_chars(buf.data(), buf.data() + buf.size(), magnitude,
                                         std::chars_format::scientific, kExactDigits);
    // Layout: d '.' 780 digits 'e' sign exponent.
    const std::string_view text(buf.data(), static_cast<std::size_t>(end - buf.data()));
    const std::size_t ePos = text.find('e');
    if (ec != std::errc() || ePos != 2 + kExactDigits || text[1] != '.')
        throw ArithmeticError("Invalid floating point operation");
    std::string exact;
    exact.reserve(kExactDigits + 1);
    exact.push_back(text[0]);
    exact.append(text.substr(2, kExactDigits));
    Significand18 out;
    const char* expBegin = text.data() + ePos + 1;
    if (*expBegin == '+') ++expBegin;
    std::from_chars(expBegin, text.data() + text.size(), out.exponent);
    for (std::size_t i = 0; i < out.digits.size(); ++i) out.digits[i] = exact[i] - '0';

    bool up = false;
    const char first = exact[18];
    if (first > '5') {
        up = true;
    } else if (first == '5') {
        const bool beyondHalf = exact.find_first_not_of('0', 19) != std::string::npos;
        up = beyondHalf || (out.digits[17] % 2 == 1);
    }
    if (up) {
        int i = 17;
        while (i >= 0 && out.digits[i] == 9) out.digits[i--] = 0;
        if (i >= 0) {
            ++out.digits[i];
        } else {  // 99...9 became 100...0
            out.digits[0] = 1;
            ++out.exponent;
        }
    }
    return out;
}

std::string formatFixed(double value, int decimals, std::string_view separator) {
    checked(value);
    // Fixed-point digits for the powers max(exponent, 0) .. -decimals.
    std::string kept;
    bool negative = std::signbit(value);
    if (value == 0) {
        kept.assign(static_cast<std::size_t>(decimals) + 1, '0');
    } else {
        const Significand18 s = roundTo18Digits(std::fabs(value));
        auto digitAt = [&](int power) {
            const int index = s.exponent - power;
            return index >= 0 && index < 18 ? s.digits[static_cast<std::size_t>(index)] : 0;
        };
        for (int power = std::max(s.exponent, 0); power >= -decimals; --power)
            kept.push_back(static_cast<char>('0' + digitAt(power)));
        // The first dropped digit decides: 5..9 round the magnitude up.
        if (digitAt(-decimals - 1) >= 5) {
            std::size_t i = kept.size();
            while (i > 0 && kept[i - 1] == '9') kept[--i] = '0';
            if (i > 0)
                ++kept[i - 1];
            else
                kept.insert(kept.begin(), '1');
        }
    }
    const std::size_t intLength = kept.size() - static_cast<std::size_t>(decimals);
    std::size_t lead = 0;
    while (lead + 1 < intLength && kept[lead] == '0') ++lead;
    if (kept.find_first_not_of('0') == std::string::npos) negative = false;

    std::string text;
    if (negative) text.push_back('-');
    text.append(kept, lead, intLength - lead);
    text.append(separator);
    text.append(kept, intLength);
    return text;
}

[[noreturn]] void refuse(std::string_view text) {
    throw ConversionError("'" + std::string(text) + "' is not a valid floating point value");
}

}  // namespace

double VatFactor(double rate) { return checked(1 + rate / 100); }

double WithVat(double base, double rate) { return checked(base * VatFactor(rate)); }

double WithoutVat(double vatInclusive, double rate) {
    return divide(vatInclusive, VatFactor(rate));
}

double MarginPercent(double saleVatInclusive, double purchaseVatInclusive) {
    const double scaled = saleVatInclusive * 100;
    return checked(divide(scaled, purchaseVatInclusive) - 100);
}

double NetProfit(double saleBase, double purchaseBase) { return checked(saleBase - purchaseBase); }

double SaleBaseFromMargin(double purchaseBase, double margin) {
    return checked(purchaseBase + purchaseBase * (margin / 100));
}

double SaleBaseFromNetProfit(double purchaseBase, double netProfit) {
    return checked(purchaseBase + netProfit);
}

double DiscountedPrice(double listPrice, double discount) {
    return checked(listPrice - (discount / 100) * listPrice);
}

double SecondRetailPrice(double pvp1, double surcharge) {
    return checked(pvp1 * (1 + surcharge / 100));
}

std::string FormatFixed4(double value, std::string_view decimalSeparator) {
    return formatFixed(value, 4, decimalSeparator);
}

std::string FormatFixed7(double value, std::string_view decimalSeparator) {
    return formatFixed(value, 7, decimalSeparator);
}

double ParseNumber(std::string_view text, std::string_view decimalSeparator) {
    const std::size_t n = text.size();
    std::size_t i = 0;
    auto digitsFrom = [&](std::size_t start) {
        while (i < n && isDigit(text[i])) ++i;
        return text.substr(start, i - start);
    };

    while (i < n && text[i] == ' ') ++i;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    const std::string_view intDigits = digitsFrom(i);
    bool hasSeparator = false;
    std::string_view fracDigits;
    if (!decimalSeparator.empty() && text.substr(i).starts_with(decimalSeparator)) {
        hasSeparator = true;
        i += decimalSeparator.size();
        fracDigits = digitsFrom(i);
    }
    if (intDigits.empty() && !hasSeparator) refuse(text);
    bool expNegative = false;
    std::string_view expDigits;
    if (i < n && (text[i] == 'E' || text[i] == 'e')) {
        ++i;
        if (i < n && (text[i] == '+' || text[i] == '-')) expNegative = text[i++] == '-';
        expDigits = digitsFrom(i);
    }
    while (i < n && text[i] == ' ') ++i;
    if (i != n) refuse(text);

    // Rebuild the accepted text in the one form from_chars reads, whatever the
    // locale's separator was. A huge exponent is capped: it overflows or
    // underflows either way.
    std::string normal(intDigits.empty() ? std::string_view("0") : intDigits);
    if (!fracDigits.empty()) {
        normal.push_back('.');
        normal.append(fracDigits);
    }
    const std::size_t expLead = std::min(expDigits.find_first_not_of('0'), expDigits.size());
    expDigits.remove_prefix(expLead);
    if (!expDigits.empty()) {
        normal.push_back('e');
        if (expNegative) normal.push_back('-');
        normal.append(expDigits.size() > 9 ? std::string_view("999999999") : expDigits);
    }

    double value = 0;
    const auto [end, ec] = std::from_chars(normal.data(), normal.data() + normal.size(), value,
                                           std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
        // Too small rounds to zero; too large is refused. The decimal order
        // of the leading non-zero digit tells the two apart.
        const std::string digits = std::string(intDigits) + std::string(fracDigits);
        const std::size_t firstNonZero = digits.find_first_not_of('0');
        if (firstNonZero == std::string::npos) return negative ? -0.0 : 0.0;
        long long order =
            static_cast<long long>(intDigits.size()) - 1 - static_cast<long long>(firstNonZero);
        long long exponent = 0;
        for (char c : expDigits.substr(0, 9)) exponent = exponent * 10 + (c - '0');
        if (expDigits.size() > 9) exponent = 999999999;
        order += expNegative ? -exponent : exponent;
        if (order > 0) refuse(text);
        value = 0;
    } else if (ec != std::errc() || end != normal.data() + normal.size()) {
        refuse(text);
    }
    return negative ? -value : value;
}

}  // namespace pricing
