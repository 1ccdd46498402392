// Price arithmetic and number texts.
//
// The relations between purchase price, retail price (PVP 1), VAT rate, margin
// and net profit, and the rules that turn amounts into box texts and back.
// Amounts are doubles in euro; percentages are plain numbers (21 means 21 %).
// Nothing here rounds except the two formatters, so the digits that reach the
// database are decided by FormatFixed4/FormatFixed7 and ParseNumber alone.
//
// Everything is a pure free function: no state, safe from any thread.
// Texts are UTF-8 std::string; the decimal separator is passed in (UTF-8, one
// or more bytes, usually "," in the store's locale) because the caller owns
// the locale.
//
// Failures are exceptions: ArithmeticError (division by zero, 0/0 included,
// and results too large for a double; never an inf or NaN) and
// ConversionError (a text that is not a number).
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "precios/error.h"

namespace pricing {

class ArithmeticError : public precios::Error {
  public:
    explicit ArithmeticError(std::string message)
        : precios::Error(std::move(message), precios::ErrorKind::Arithmetic) {}
};

class ConversionError : public precios::Error {
  public:
    explicit ConversionError(std::string message)
        : precios::Error(std::move(message), precios::ErrorKind::Conversion) {}
};

// 1 + rate/100 (the division first).
double VatFactor(double rate);
// base * VatFactor(rate).
double WithVat(double base, double rate);
// vatInclusive / VatFactor(rate); a zero factor raises ArithmeticError.
double WithoutVat(double vatInclusive, double rate);
// sale * 100 / purchase - 100, in that order, both VAT-inclusive.
double MarginPercent(double saleVatInclusive, double purchaseVatInclusive);
// sale base - purchase base.
double NetProfit(double saleBase, double purchaseBase);
// purchase + purchase * (margin/100).
double SaleBaseFromMargin(double purchaseBase, double margin);
// purchase + net profit.
double SaleBaseFromNetProfit(double purchaseBase, double netProfit);
// list - (discount/100) * list.
double DiscountedPrice(double listPrice, double discount);
// pvp1 * (1 + surcharge/100).
double SecondRetailPrice(double pvp1, double surcharge);

// Pattern "0.0000" / "0.0000000": the value is first taken to 18 significant
// digits (ties to even), then cut to 4 / 7 decimals with the first dropped
// digit deciding (halves away from zero). No grouping; no sign on an all-zero
// text. A non-finite value raises ArithmeticError.
std::string FormatFixed4(double value, std::string_view decimalSeparator);
std::string FormatFixed7(double value, std::string_view decimalSeparator);

// Reads [spaces][sign][digits][separator digits][(E|e)[sign][digits]][spaces]
// where the digits and the separator part together are at least one
// character and only the space character counts as a space. Yields the nearest
// double; anything else (and a value too large for a double) raises
// ConversionError "'<text>' is not a valid floating point value".
double ParseNumber(std::string_view text, std::string_view decimalSeparator);

}  // namespace pricing
