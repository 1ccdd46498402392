#include "price_panel.h"

#include <array>
#include <utility>

#include "price_ops.h"

namespace pricing {

PricePanel::PricePanel(PriceBoxes& boxes, std::string decimalSeparator)
    : boxes_(boxes), separator_(std::move(decimalSeparator)) {}

double PricePanel::read(std::string_view boxName) const {
    return ParseNumber(boxes_.text(boxName), separator_);
}

void PricePanel::write(std::string_view boxName, double value) {
    boxes_.setText(boxName, FormatFixed7(value, separator_));
}

namespace {

// The boxes the fill writes, in the order it writes them.
constexpr std::array<std::string_view, 10> kFigureBoxes = {
    box::pciva,     box::pvp1iva, box::bnpvp1,   box::bnneto,     box::spcbase,
    box::spvp1base, box::spciva,  box::spvp1iva, box::sbeneficio, box::sbnneto};

std::array<std::string, 10> figureTexts(double rate, const ItemPrices& item,
                                        const std::string& sep) {
    const double pc = WithVat(item.purchaseBase, rate);
    const double sv = WithVat(item.saleBase, rate);
    // The margin is undefined against a zero purchase price (and cannot be
    // shown when it overflows): its two boxes stay empty, the rest is filled.
    std::string margin;
    if (pc != 0) {
        try {
            margin = FormatFixed4(MarginPercent(sv, pc), sep);
        } catch (const ArithmeticError&) {
        }
    }
    const double net = NetProfit(item.saleBase, item.purchaseBase);
    const std::string pcText = FormatFixed4(pc, sep);
    const std::string svText = FormatFixed4(sv, sep);
    const std::string netText = FormatFixed4(net, sep);
    return {pcText,
            svText,
            margin,
            netText,
            FormatFixed7(item.purchaseBase, sep),
            FormatFixed7(item.saleBase, sep),
            pcText,
            svText,
            margin,
            netText};
}

}  // namespace

void PricePanel::fill(double rate, const ItemPrices& item) {
    std::array<std::string, 10> texts;
    try {
        texts = figureTexts(rate, item, separator_);
    } catch (...) {
        // Never leave another item's figures where "Aplicar Cambios" would
        // store them: empty every figure box, then report.
        for (std::string_view name : kFigureBoxes) boxes_.setText(name, std::string());
        throw;
    }
    for (std::size_t i = 0; i < kFigureBoxes.size(); ++i) boxes_.setText(kFigureBoxes[i], texts[i]);
}

void PricePanel::spcbasesdExit() {
    // The list price is optional and stands empty between uses; walking
    // through it must not raise anything.
    if (boxes_.text(box::spcbasesd).find_first_not_of(' ') == std::string::npos) return;
    const double discount = read(box::Edit1);
    const double listPrice = read(box::spcbasesd);
    write(box::spcbase, DiscountedPrice(listPrice, discount));
}

void PricePanel::spcbaseExit(double rate) {
    const double f = VatFactor(rate);
    const double b = read(box::spcbase);
    const double m = read(box::sbeneficio);
    write(box::spvp1base, SaleBaseFromMargin(b, m));
    write(box::spciva, read(box::spcbase) * f);
    write(box::spvp1iva, read(box::spvp1base) * f);
    write(box::sbnneto, NetProfit(read(box::spvp1base), read(box::spcbase)));
}

void PricePanel::spcivaExit(double rate) {
    const double f = VatFactor(rate);
    write(box::spcbase, WithoutVat(read(box::spciva), rate));
    const double b = read(box::spcbase);
    const double m = read(box::sbeneficio);
    write(box::spvp1base, SaleBaseFromMargin(b, m));
    write(box::spvp1iva, read(box::spvp1base) * f);
    write(box::sbnneto, NetProfit(read(box::spvp1base), read(box::spcbase)));
}

void PricePanel::sbeneficioExit(double rate) {
    const double f = VatFactor(rate);
    const double b = read(box::spcbase);
    const double m = read(box::sbeneficio);
    write(box::spvp1base, SaleBaseFromMargin(b, m));
    write(box::spvp1iva, read(box::spvp1base) * f);
    write(box::sbnneto, NetProfit(read(box::spvp1base), read(box::spcbase)));
}

void PricePanel::sbnnetoExit(double rate) {
    const double f = VatFactor(rate);
    const double b = read(box::spcbase);
    const double n = read(box::sbnneto);
    write(box::spvp1base, SaleBaseFromNetProfit(b, n));
    write(box::spvp1iva, read(box::spvp1base) * f);
    const double ci = read(box::spciva);
    const double vi = read(box::spvp1iva);
    write(box::sbeneficio, MarginPercent(vi, ci));
}

void PricePanel::spvp1baseExit(double rate) {
    const double f = VatFactor(rate);
    const double ci = read(box::spciva);
    write(box::spvp1iva, read(box::spvp1base) * f);
    write(box::sbeneficio, MarginPercent(read(box::spvp1iva), ci));
    write(box::sbnneto, NetProfit(read(box::spvp1base), read(box::spcbase)));
}

void PricePanel::spvp1ivaExit(double rate) {
    const double ci = read(box::spciva);
    write(box::spvp1base, WithoutVat(read(box::spvp1iva), rate));
    write(box::sbeneficio, MarginPercent(read(box::spvp1iva), ci));
    write(box::sbnneto, NetProfit(read(box::spvp1base), read(box::spcbase)));
}

AppliedPrices PricePanel::readForApply() const {
    AppliedPrices prices;
    prices.pvp1 = read(box::spvp1base);
    const double surcharge = read(box::Edit2);
    prices.purchaseBase = read(box::spcbase);
    prices.pvp2 = SecondRetailPrice(prices.pvp1, surcharge);
    return prices;
}

void PricePanel::resetAfterApply() {
    boxes_.setText(box::Edit1, "0");
    boxes_.setText(box::spcbasesd, "");
}

}  // namespace pricing
