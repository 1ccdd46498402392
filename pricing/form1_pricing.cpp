// TForm1 handlers of the price panels: the fill from the item record, the
// recalculations when a simulation box is left, and applying the prices.
//
// The arithmetic and the order of the steps live in pricing::PricePanel; the
// handlers here supply the rate and the record's prices, and decide what a
// failure does.
//
// How a failed recalculation cancels the action that was moving the focus:
// the recalculations run from the window's FocusOut filter (tform1.cpp), while
// Qt is handing the focus to another control. The recovery moves the focus to
// ebuscar from inside that hand-over, so:
// - a move by Tab, Enter or code ends in ebuscar: Qt only delivers the FocusIn
//   it was about to send when its target is still the focus widget, and the
//   window's filter gives no leave to a control that never held the focus;
// - a click: Qt moves the focus on the press before delivering it; the
//   window's filter then sees that the pressed control (Button1 too) does not
//   hold the focus and drops the press, so the button is never down and its
//   release emits no clicked(): Button1Click does not run.
#include <QVariant>
#include <optional>

#include "application.h"
#include "price_panel.h"
#include "qt_price_boxes.h"
#include "tform1.h"

namespace {

using pricing::PricePanel;
using pricing::QtPriceBoxes;

// The IVA of the item's tax type as qimpuestos lists it; nothing when the
// type is NULL, names no row, or the list is closed. Read afresh every time,
// so a tax type just chosen in the combo (a pending edit) already counts.
std::optional<double> ivaOfItemTaxType(store::StoreModel& model) {
    db::Dataset& record = model.ARTICULOS;
    db::Dataset& taxes = model.qimpuestos;
    if (!record.isActive() || !taxes.isActive()) return std::nullopt;
    const QVariant code = record.field(QStringLiteral("Tipo Impuesto")).value();
    if (!code.isValid()) return std::nullopt;
    taxes.fetchAll();
    const int codeColumn = taxes.field(QStringLiteral("Codigo")).index();
    const int ivaColumn = taxes.field(QStringLiteral("IVA")).index();
    for (int row = 0; row < taxes.recordCount(); ++row) {
        const QVariant rowCode = taxes.rowValue(row, codeColumn);
        if (rowCode.isValid() && rowCode.toLongLong() == code.toLongLong()) {
            const QVariant iva = taxes.rowValue(row, ivaColumn);
            return iva.isValid() ? std::optional<double>(iva.toDouble()) : std::nullopt;
        }
    }
    return std::nullopt;
}

double itemRate(store::StoreModel& model) { return pricing::itemVatRate(ivaOfItemTaxType(model)); }

pricing::ItemPrices itemPrices(const db::Dataset& record) {
    pricing::ItemPrices prices;
    prices.purchaseBase = record.field(QStringLiteral("Precio Compra Proveedor 1")).asDouble();
    prices.saleBase = record.field(QStringLiteral("PVP 1")).asDouble();
    return prices;
}

// Whether "Aplicar Cambios" has a stored item to write to: a database is
// open, the record stands on a row, and that row is not a new one.
bool itemShown(const db::Dataset& record) {
    return record.isActive() && record.currentRow() >= 0 &&
           record.state() != db::DatasetState::Insert;
}

void focusSearchSelected(TForm1& form) {
    form.ebuscar->setFocus(Qt::OtherFocusReason);
    form.ebuscar->selectAll();
}

// Runs one rate-using recalculation with the silent recovery: any error of
// the error base type, reading the rate included, ends it with the focus in
// ebuscar and its text selected; nothing is reported.
template <class Step>
void recalculate(TForm1& form, Step step) {
    try {
        QtPriceBoxes boxes(form);
        PricePanel panel(boxes, pricing::localeDecimalSeparator());
        const double rate = itemRate(form.model);
        step(panel, rate);
    } catch (const precios::Error&) {
        focusSearchSelected(form);
    }
}

}  // namespace

void TForm1::DSARTICULOSDataChange() {
    QtPriceBoxes boxes(*this);
    PricePanel panel(boxes, pricing::localeDecimalSeparator());
    const double rate = itemRate(model);
    panel.fill(rate, itemPrices(model.ARTICULOS));
}

void TForm1::spcbasesdExit() {
    try {
        QtPriceBoxes boxes(*this);
        PricePanel(boxes, pricing::localeDecimalSeparator()).spcbasesdExit();
    } catch (const precios::Error& error) {
        // No recovery of its own: the user is told, then put back in the box
        // to correct the list price (or the discount before it).
        precios::reportError(error);
        spcbasesd->setFocus(Qt::OtherFocusReason);
        spcbasesd->selectAll();
    }
}

void TForm1::spcbaseExit() {
    recalculate(*this, [](PricePanel& panel, double rate) { panel.spcbaseExit(rate); });
}

void TForm1::spcivaExit() {
    recalculate(*this, [](PricePanel& panel, double rate) { panel.spcivaExit(rate); });
}

void TForm1::sbeneficioExit() {
    recalculate(*this, [](PricePanel& panel, double rate) { panel.sbeneficioExit(rate); });
}

void TForm1::sbnnetoExit() {
    recalculate(*this, [](PricePanel& panel, double rate) { panel.sbnnetoExit(rate); });
}

void TForm1::spvp1baseExit() {
    recalculate(*this, [](PricePanel& panel, double rate) { panel.spvp1baseExit(rate); });
}

void TForm1::spvp1ivaExit() {
    recalculate(*this, [](PricePanel& panel, double rate) { panel.spvp1ivaExit(rate); });
}

void TForm1::Button1Click() {
    db::Dataset& record = model.ARTICULOS;
    if (!itemShown(record)) {
        precios::showMessage(QString::fromUtf8(pricing::kNoItemSelectedMessage));
        return;
    }
    QtPriceBoxes boxes(*this);
    PricePanel panel(boxes, pricing::localeDecimalSeparator());
    // Every change of the record below refills the boxes from it: the three
    // texts are taken first.
    const pricing::AppliedPrices prices = panel.readForApply();
    if (record.state() == db::DatasetState::Browse) record.edit();
    record.field(QStringLiteral("PVP 1")).setValue(prices.pvp1);
    record.field(QStringLiteral("PVP 2")).setValue(prices.pvp2);
    record.field(QStringLiteral("Precio Compra Proveedor 1")).setValue(prices.purchaseBase);
    // A pending description or tax-type change goes out in this same write.
    // If it fails, the record stays editing with the new values.
    record.post();
    panel.resetAfterApply();
    // Read the list again under its current statement, so the search in force
    // stays; the record follows the list's first row.
    model.qarticulos.close();
    model.qarticulos.open();
    focusSearchSelected(*this);
}

// Clicks in the simulation boxes: the cost boxes select their text, the
// others take the focus.
void TForm1::spcbaseClick(QLineEdit* box) { box->selectAll(); }

void TForm1::spcivaClick() { spciva->selectAll(); }

// The focus-on-click boxes lack the focus on the release only when the
// recovery of a failed recalculation took the press; asking for it then is a
// move by code, which the leave rule of the search box redirects.
void TForm1::spvp1baseClick() {
    if (!spvp1base->hasFocus()) spvp1base->setFocus(Qt::OtherFocusReason);
}

void TForm1::spvp1ivaClick() {
    if (!spvp1iva->hasFocus()) spvp1iva->setFocus(Qt::OtherFocusReason);
}

void TForm1::sbeneficioClick() {
    if (!sbeneficio->hasFocus()) sbeneficio->setFocus(Qt::OtherFocusReason);
}

void TForm1::sbnnetoClick() {
    if (!sbnneto->hasFocus()) sbnneto->setFocus(Qt::OtherFocusReason);
}
