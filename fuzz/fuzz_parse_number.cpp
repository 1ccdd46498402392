// Fuzz target: pricing::ParseNumber, checked against an independent reading.
//
// The first input byte picks the decimal separator ("," "." or a two-byte
// UTF-8 one), the rest is the text. Besides not crashing, a parsed value
// must be finite, must equal strtod's reading of the same number written
// with '.', and must survive FormatFixed7 and a second parse within the
// seven decimals shown.
#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "price_ops.h"

namespace {

void fail(const char* what, const std::string& text, double a, double b) {
    std::fprintf(stderr, "fuzz_parse_number: %s for '%s': %.17g vs %.17g\n", what, text.c_str(), a,
                 b);
    std::abort();
}

// The text with the separator turned into '.' and the surrounding spaces
// dropped, or empty when it holds anything outside the number alphabet.
std::string plain(std::string_view text, std::string_view sep) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        if (text.substr(i).starts_with(sep)) {
            out += '.';
            i += sep.size();
            continue;
        }
        const char c = text[i++];
        if ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == 'e' || c == 'E')
            out += c;
        else
            return {};
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    static const std::string_view kSeparators[] = {",", ".", "\xC2\xB7"};
    const std::string_view sep = kSeparators[data[0] % 3];
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

    double value = 0;
    try {
        value = pricing::ParseNumber(text, sep);
    } catch (const pricing::ConversionError&) {
        return 0;
    }
    if (!std::isfinite(value)) fail("non-finite result", text, value, value);

    // strtod reads the same digits (it rounds to nearest as well). Texts it
    // takes only in part (a bare "1e" or ".") are outside the comparison.
    const std::string p = plain(text, sep);
    if (!p.empty()) {
        errno = 0;
        char* end = nullptr;
        const double expected = std::strtod(p.c_str(), &end);
        if (end == p.c_str() + p.size() && std::isfinite(expected) && expected != value &&
            !(expected == 0 && value == 0))
            fail("differs from strtod", text, value, expected);
    }

    const std::string shown = pricing::FormatFixed7(value, sep);
    double again = 0;
    try {
        again = pricing::ParseNumber(shown, sep);
    } catch (const pricing::ConversionError&) {
        fail("own text refused", shown, value, 0);
    }
    if (std::fabs(again - value) > 5.1e-8 + std::fabs(value) * 1e-15)
        fail("round trip", shown, value, again);
    return 0;
}
