// The window's price boxes seen through pricing::PriceBoxes.
//
// PricePanel reads and writes box texts by control name; this adapter finds
// the QLineEdit of that name under a root widget (the main window) and turns
// texts between QString and UTF-8. It also supplies the decimal separator of
// the current locale, which the panel needs to read and write figures.
//
// Ownership: refers to the root widget, which must outlive it; it is made on
// the stack around one handler call. Threads: the user-interface thread only.
#pragma once

#include <QLineEdit>
#include <string>
#include <string_view>

#include "price_panel.h"

class QWidget;

namespace pricing {

class QtPriceBoxes final : public PriceBoxes {
  public:
    explicit QtPriceBoxes(QWidget& root) : root_(root) {}

    std::string text(std::string_view boxName) const override;
    void setText(std::string_view boxName, const std::string& text) override;

    // The box named boxName; raises precios::Error when the window has none.
    QLineEdit& box(std::string_view boxName) const;

  private:
    QWidget& root_;
};

// The decimal separator of the default locale, as UTF-8.
std::string localeDecimalSeparator();

}  // namespace pricing
