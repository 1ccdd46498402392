#include "qt_price_boxes.h"

#include <QLocale>
#include <QWidget>

#include "precios/error.h"

namespace pricing {

QLineEdit& QtPriceBoxes::box(std::string_view boxName) const {
    const QString name = QString::fromUtf8(boxName.data(), qsizetype(boxName.size()));
    auto* found = root_.findChild<QLineEdit*>(name);
    // A missing box is a fault of the window's build, not of the user's data.
    if (found == nullptr) {
        throw precios::Error("The window has no price box " + std::string(boxName),
                             precios::ErrorKind::NotFound);
    }
    return *found;
}

std::string QtPriceBoxes::text(std::string_view boxName) const {
    return box(boxName).text().toStdString();
}

void QtPriceBoxes::setText(std::string_view boxName, const std::string& text) {
    box(boxName).setText(QString::fromStdString(text));
}

std::string localeDecimalSeparator() { return QLocale().decimalPoint().toStdString(); }

}  // namespace pricing
