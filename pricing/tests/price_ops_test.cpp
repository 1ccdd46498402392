#include "price_ops.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace pricing {
namespace {

constexpr const char* kComma = ",";

std::string f4(double x) { return FormatFixed4(x, kComma); }
std::string f7(double x) { return FormatFixed7(x, kComma); }
double parse(std::string_view text) { return ParseNumber(text, kComma); }

template <typename Fn>
void expectArithmeticError(Fn&& fn) {
    try {
        fn();
        ADD_FAILURE() << "no arithmetic error";
    } catch (const precios::Error& e) {
        EXPECT_EQ(e.kind(), precios::ErrorKind::Arithmetic) << e.what();
    }
}

void expectRefused(std::string_view text) {
    try {
        const double v = parse(text);
        ADD_FAILURE() << "'" << text << "' accepted as " << v;
    } catch (const precios::Error& e) {
        EXPECT_EQ(e.kind(), precios::ErrorKind::Conversion);
        EXPECT_EQ(e.message(), "'" + std::string(text) + "' is not a valid floating point value");
    }
}

TEST(PriceOps, DocumentedFigures) {
    EXPECT_EQ(VatFactor(21), 1.21);
    EXPECT_EQ(VatFactor(0), 1.0);
    EXPECT_EQ(WithVat(10, 21), 12.1);
    EXPECT_EQ(WithoutVat(12.1, 21), 10.0);
    EXPECT_EQ(MarginPercent(15.125, 12.1), 25.0);
    EXPECT_EQ(MarginPercent(0, 12.1), -100.0);
    EXPECT_EQ(SaleBaseFromMargin(100, 25), 125.0);
    EXPECT_EQ(SaleBaseFromNetProfit(100, 25), 125.0);
    EXPECT_EQ(NetProfit(125, 100), 25.0);
    EXPECT_EQ(DiscountedPrice(200, 15), 170.0);
    EXPECT_EQ(DiscountedPrice(123.456, 0), 123.456);
    EXPECT_EQ(SecondRetailPrice(12.5, 28), 16.0);
    EXPECT_EQ(SecondRetailPrice(12.5, 0), 12.5);
}

// Each input below gives a different double under the other obvious grouping,
// so these pin the evaluation order down to the last bit.
TEST(PriceOps, EvaluationOrder) {
    const double s = 50.05, p = 45.5;
    EXPECT_EQ(MarginPercent(s, p), s * 100 / p - 100);
    EXPECT_NE(MarginPercent(s, p), s / p * 100 - 100);
    EXPECT_EQ(VatFactor(0.9), 1 + 0.9 / 100);
    EXPECT_NE(VatFactor(0.9), (100 + 0.9) / 100);
    EXPECT_EQ(WithVat(49.48, 1.9), 49.48 * (1 + 1.9 / 100));
    EXPECT_NE(WithVat(49.48, 1.9), 49.48 + 49.48 * 1.9 / 100);
    EXPECT_EQ(SaleBaseFromMargin(45.09, 72.4), 45.09 + 45.09 * (72.4 / 100));
    EXPECT_NE(SaleBaseFromMargin(45.09, 72.4), 45.09 * (1 + 72.4 / 100));
    EXPECT_EQ(DiscountedPrice(83.17, 33.8), 83.17 - (33.8 / 100) * 83.17);
    EXPECT_NE(DiscountedPrice(83.17, 33.8), 83.17 * (1 - 33.8 / 100));
    EXPECT_EQ(SecondRetailPrice(18.13, 27.9), 18.13 * (1 + 27.9 / 100));
    EXPECT_NE(SecondRetailPrice(18.13, 27.9), 18.13 + 18.13 * 27.9 / 100);
}

TEST(PriceOps, DivisionByZeroAndOverflowRaiseArithmeticErrors) {
    for (double x : {0.0, -0.0, 1.0, -5.0, 1e308})
        expectArithmeticError([&] { MarginPercent(x, 0); });
    expectArithmeticError([] { MarginPercent(1, -0.0); });
    expectArithmeticError([] { WithoutVat(12.1, -100); });  // factor 0
    expectArithmeticError([] { WithoutVat(0, -100); });     // 0/0
    expectArithmeticError([] { WithVat(1e308, 100); });
    expectArithmeticError([] { MarginPercent(1e307, 1e-10); });
    expectArithmeticError([] { MarginPercent(1e307, 1); });  // s * 100 overflows first
    expectArithmeticError([] { SaleBaseFromMargin(1e308, 1e10); });
    expectArithmeticError([] { SaleBaseFromNetProfit(1.7e308, 1.7e308); });
    expectArithmeticError([] { NetProfit(1.7e308, -1.7e308); });
    expectArithmeticError([] { DiscountedPrice(1e308, -1e10); });
    expectArithmeticError([] { SecondRetailPrice(1e308, 1e10); });
    expectArithmeticError([] { f4(std::numeric_limits<double>::infinity()); });
    expectArithmeticError([] { f7(std::numeric_limits<double>::quiet_NaN()); });
}

TEST(FormatFixed, DocumentedTable) {
    EXPECT_EQ(f4(1.03125), "1,0313");
    EXPECT_EQ(f7(0.00390625), "0,0039063");
    EXPECT_EQ(f4(-0.00004), "0,0000");
    EXPECT_EQ(f4(-0.00006), "-0,0001");
    EXPECT_EQ(f4(123.5), "123,5000");
    EXPECT_EQ(f7(0), "0,0000000");
    EXPECT_EQ(f7(-0.0), "0,0000000");
    EXPECT_EQ(f4(-0.0), "0,0000");
}

TEST(FormatFixed, LayoutCarriesAndSeparators) {
    EXPECT_EQ(f4(9.99995), "10,0000");  // carry through every digit
    EXPECT_EQ(f4(-99.99996), "-100,0000");
    EXPECT_EQ(f4(0.5), "0,5000");
    EXPECT_EQ(f4(1234567.25), "1234567,2500");  // no grouping
    EXPECT_EQ(f7(12.5), "12,5000000");
    EXPECT_EQ(f7(-2.5), "-2,5000000");
    EXPECT_EQ(f7(1e-300), "0,0000000");
    EXPECT_EQ(f4(-1e-300), "0,0000");
    EXPECT_EQ(FormatFixed4(1.5, "."), "1.5000");
    EXPECT_EQ(FormatFixed4(1.5, "\u066B"), "1\u066B5000");
    EXPECT_EQ(f4(1e20), "100000000000000000000,0000");
}

// Values whose binary form sits just off a rounding boundary: the exact
// expansion decides, not a decimal literal that looks like a half.
TEST(FormatFixed, BinaryNeighboursOfBoundaries) {
    EXPECT_EQ(f4(std::nextafter(1.03125, 0.0)), "1,0312");
    EXPECT_EQ(f4(std::nextafter(1.03125, 2.0)), "1,0313");
    EXPECT_EQ(f7(std::nextafter(0.00390625, 0.0)), "0,0039062");
    EXPECT_EQ(f7(std::nextafter(0.00390625, 1.0)), "0,0039063");
    EXPECT_EQ(f4(-0.00005), "-0,0001");  // stored as 5.00000000000000023960...e-5
    EXPECT_EQ(f4(-std::nextafter(0.00005, 0.0)), "0,0000");
    EXPECT_EQ(f4(2.675), "2,6750");
    EXPECT_EQ(f4(2.67495), "2,6749");        // 2.67494999999999993889...
    EXPECT_EQ(f4(2.67505), "2,6751");        // 2.67505000000000014992...
    EXPECT_EQ(f4(1.00005), "1,0001");        // 1.00005000000000010551...
    EXPECT_EQ(f7(1.00000005), "1,0000000");  // 1.00000004999999991817...
    EXPECT_EQ(f7(0.12345675), "0,1234568");  // 0.123456750000000002...
}

// The first step rounds to 18 significant digits, ties to even, before the
// cut: large values show the difference from rounding the exact value once.
TEST(FormatFixed, EighteenDigitStepComesFirst) {
    // 10000000000000.03125 exactly: the 18-digit step is a tie, kept even.
    EXPECT_EQ(f4(1e13 + 0.03125), "10000000000000,0312");
    EXPECT_EQ(f4(1e13 + 0.09375), "10000000000000,0938");
    EXPECT_EQ(f7(1e10 + 0.00390625), "10000000000,0039062");
    EXPECT_EQ(f7(1e10 + 3 * 0.00390625), "10000000000,0117188");
    // 1000000000000.00634765625: 18 digits give ...0063|5, which then rounds up.
    EXPECT_EQ(f4(1e12 + 26 * 0x1p-12), "1000000000000,0064");
    // 1000000000.00000154972076416015625: 18 digits give ...0000015|5.
    EXPECT_EQ(f7(1e9 + 13 * 0x1p-23), "1000000000,0000016");
    // 1e153 is stored as 9.99999999999999999|7334...e152: the 18-digit step
    // carries into a new leading digit.
    EXPECT_EQ(f4(1e153), "1" + std::string(153, '0') + ",0000");
}

TEST(ParseNumber, DocumentedTableInACommaLocale) {
    EXPECT_EQ(parse("  12,5  "), 12.5);
    EXPECT_EQ(parse("+3"), 3.0);
    EXPECT_EQ(parse("-0,25"), -0.25);
    EXPECT_EQ(parse("1,5E2"), 150.0);
    EXPECT_EQ(parse(","), 0.0);
    expectRefused("");
    expectRefused(" ");
    expectRefused("-");
    expectRefused("12.5");
    expectRefused("1.234,5");
    expectRefused("12,5%");
}

TEST(ParseNumber, GrammarEdges) {
    EXPECT_EQ(parse("7"), 7.0);
    EXPECT_EQ(parse("7,"), 7.0);
    EXPECT_EQ(parse(",5"), 0.5);
    EXPECT_EQ(parse("-,5"), -0.5);
    EXPECT_EQ(parse("1,5E"), 1.5);  // exponent without digits counts as 0
    EXPECT_EQ(parse("1,5e-"), 1.5);
    EXPECT_EQ(parse("2e+3"), 2000.0);
    EXPECT_EQ(parse("25E-1 "), 2.5);
    EXPECT_EQ(parse("1e0000000000000000000003"), 1000.0);
    EXPECT_EQ(parse("0e999999999999"), 0.0);
    EXPECT_TRUE(std::signbit(parse("-0")));
    expectRefused("E5");
    expectRefused("e");
    EXPECT_EQ(parse(" -, "), 0.0);  // sign and lone separator: still a number
}

TEST(ParseNumber, RefusesEverythingOutsideTheGrammar) {
    for (const char* text : {"\t1", "1\t", "1 2", "1,2,3", "--1", "+-1", "1e5e5", "1e 5", "12,5 %",
                             "€12", "0x10", "1_000", "inf", "nan", "1,5E2,0", " + 1"})
        expectRefused(text);
    expectRefused("1E309");  // too large for a double
    expectRefused("-1e400");
    expectRefused("1" + std::string(400, '0'));
}

TEST(ParseNumber, NearestDouble) {
    EXPECT_EQ(parse("0,1"), 0.1);
    EXPECT_EQ(parse("1,23456789"), 1.23456789);
    EXPECT_EQ(parse("2,67495"), 2.67495);
    EXPECT_EQ(parse("1,7976931348623157E308"), std::numeric_limits<double>::max());
    EXPECT_EQ(parse("4,9406564584124654E-324"), std::numeric_limits<double>::denorm_min());
    EXPECT_EQ(parse("1E-400"), 0.0);  // underflow reads as zero
    EXPECT_EQ(parse("0," + std::string(30, '0') + "1"), 1e-31);
    EXPECT_EQ(ParseNumber("12.5", "."), 12.5);
    EXPECT_EQ(ParseNumber("12\u066B5", "\u066B"), 12.5);
}

TEST(ParseNumber, ReadsBackWhatFormattingWrote) {
    for (double x : {0.0, 12.1, 15.125, -3.3333333, 1.23456789, 2.5e-5, 98765.4321})
        EXPECT_EQ(parse(f7(x)), parse(f7(parse(f7(x)))));
    EXPECT_EQ(parse(f7(1.23456789)), 1.2345679);
    EXPECT_EQ(parse(f4(15.125)), 15.125);
}

}  // namespace
}  // namespace pricing
