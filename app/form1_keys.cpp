// The window-wide keyboard and focus handlers of TForm1: Enter walks the tab
// order, a typed point becomes a comma in the numeric boxes, leaving the
// search box goes to the grid and leaving the grid to the discount box. The
// event plumbing that calls them is TForm1::eventFilter (tform1.cpp).
#include <QApplication>

#include "tform1.h"

bool TForm1::isNumericBoundBox(const QWidget* control) const {
    // Decided by the bound field's type at this moment: with its dataset
    // closed a box has no field, and a point typed there stays a point. The
    // data layer reads every floating-point and currency column as Double.
    const auto* box = qobject_cast<const db::DbEdit*>(control);
    if (box == nullptr) return false;
    const db::Field* field = box->field();
    return field != nullptr && field->type() == db::FieldType::Double;
}

void TForm1::FormKeyPress(QChar& key) {
    const QWidget* focused = controlOf(QApplication::focusWidget());
    if (key == u'.' && focused != nullptr) {
        if (isNumericBoundBox(focused)) {
            key = u',';
        } else {
            const QList<const QWidget*> numericBoxes = {pciva,      pvp1iva,   spcbase,
                                                        spciva,     spvp1base, spvp1iva,
                                                        sbeneficio, sbnneto,   spcbasesd};
            if (numericBoxes.contains(focused)) key = u',';
        }
    }
    if (key == u'\r') {
        selectNextControl();
        key = QChar();
    }
}

void TForm1::ebuscarExit() { DBGrid1->setFocus(Qt::TabFocusReason); }

void TForm1::DBGrid1Exit() { Edit1->setFocus(Qt::TabFocusReason); }
