// The price panels' logic: the current-price row, the simulation panel and the
// reading step of "Aplicar Cambios", without any widget.
//
// The panels keep no numbers of their own: every figure lives in the text of a
// box, and every step re-reads the texts it needs at the moment it needs them,
// so a later step works with the seven-decimal text an earlier step wrote. The
// window implements PriceBoxes over its edit boxes (by control name) and calls
// PricePanel from its handlers: fill() from DSARTICULOSDataChange, the *Exit
// methods from the boxes' OnExit, readForApply()/resetAfterApply() from
// Button1Click.
//
// Failures propagate as precios::Error (ConversionError, ArithmeticError from
// price_ops.h); boxes written before the failing step keep their new texts.
// The window decides the recovery: the six rate-using recalculations recover
// silently, spcbasesdExit and the fill go to the error report.
//
// Ownership: PricePanel refers to a PriceBoxes it does not own, which must
// outlive it. Threads: the user-interface thread only (it drives the boxes).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pricing {

// Control names of the boxes, exactly as the window names them.
namespace box {
inline constexpr std::string_view pciva = "pciva";
inline constexpr std::string_view pvp1iva = "pvp1iva";
inline constexpr std::string_view bnpvp1 = "bnpvp1";
inline constexpr std::string_view bnneto = "bnneto";
inline constexpr std::string_view Edit1 = "Edit1";
inline constexpr std::string_view spcbasesd = "spcbasesd";
inline constexpr std::string_view spcbase = "spcbase";
inline constexpr std::string_view spciva = "spciva";
inline constexpr std::string_view Edit2 = "Edit2";
inline constexpr std::string_view spvp1base = "spvp1base";
inline constexpr std::string_view spvp1iva = "spvp1iva";
inline constexpr std::string_view sbeneficio = "sbeneficio";
inline constexpr std::string_view sbnneto = "sbnneto";
}  // namespace box

// Shown by "Aplicar Cambios" when no item is shown: nothing is written then.
inline constexpr const char* kNoItemSelectedMessage = "No hay ningún artículo seleccionado.";

// Texts of the price boxes by control name (UTF-8).
class PriceBoxes {
  public:
    virtual ~PriceBoxes() = default;
    virtual std::string text(std::string_view boxName) const = 0;
    virtual void setText(std::string_view boxName, const std::string& text) = 0;
};

// The item record's two stored prices; an empty (NULL) field reads as 0.
struct ItemPrices {
    double purchaseBase = 0;  // Precio Compra Proveedor 1
    double saleBase = 0;      // PVP 1
};

// What "Aplicar Cambios" stores, as read from the boxes, unrounded.
struct AppliedPrices {
    double pvp1 = 0;          // PVP 1, from spvp1base
    double pvp2 = 0;          // PVP 2 = SecondRetailPrice(pvp1, Edit2)
    double purchaseBase = 0;  // Precio Compra Proveedor 1, from spcbase
};

// The rate an item is priced at: the IVA of its tax type. An item whose tax
// type is NULL or names no row has no rate of its own and is priced at 0
// (never at another item's rate); an empty IVA counts as 0 as well. Callers
// pass std::nullopt for all three cases.
inline double itemVatRate(std::optional<double> ivaOfTaxType) { return ivaOfTaxType.value_or(0); }

class PricePanel {
  public:
    PricePanel(PriceBoxes& boxes, std::string decimalSeparator);

    // The panel fill, with the rate read when the fill starts. Computes every
    // figure before writing any. A zero VAT-inclusive purchase price leaves
    // bnpvp1 and sbeneficio empty (the margin is undefined) and fills every
    // other box. If a figure cannot be computed at all (overflow), every
    // figure box is emptied before the error propagates, so no figure of a
    // previous item survives. Edit1, spcbasesd and Edit2 are not touched.
    void fill(double rate, const ItemPrices& item);

    // The recalculations, named after the box that was left. The rate is
    // read by the caller as the first step. spcbasesdExit uses no rate and
    // does nothing while spcbasesd is empty or holds spaces only.
    void spcbasesdExit();
    void spcbaseExit(double rate);
    void spcivaExit(double rate);
    void sbeneficioExit(double rate);
    void sbnnetoExit(double rate);
    void spvp1baseExit(double rate);
    void spvp1ivaExit(double rate);

    // Button1Click's first step: reads spvp1base, Edit2 and spcbase in that
    // order, before the item record is touched.
    AppliedPrices readForApply() const;
    // After a successful post: Edit1 back to "0", spcbasesd emptied.
    void resetAfterApply();

  private:
    double read(std::string_view boxName) const;
    void write(std::string_view boxName, double value);

    PriceBoxes& boxes_;
    std::string separator_;
};

}  // namespace pricing
