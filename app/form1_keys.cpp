// The window-wide keyboard and focus handlers of TForm1.
//
// Not wired to events yet: the key preview, the leave redirections and the
// click rules arrive together with the keyboard path of the window.
#include "tform1.h"

void TForm1::FormKeyPress(QChar& key) { Q_UNUSED(key); }

void TForm1::ebuscarExit() {}

void TForm1::DBGrid1Exit() {}

void TForm1::spcbaseClick(QLineEdit* box) { box->selectAll(); }

void TForm1::spcivaClick() { spciva->selectAll(); }

void TForm1::spvp1baseClick() {
    if (!spvp1base->hasFocus()) spvp1base->setFocus(Qt::MouseFocusReason);
}

void TForm1::spvp1ivaClick() {
    if (!spvp1iva->hasFocus()) spvp1iva->setFocus(Qt::MouseFocusReason);
}

void TForm1::sbeneficioClick() {
    if (!sbeneficio->hasFocus()) sbeneficio->setFocus(Qt::MouseFocusReason);
}

void TForm1::sbnnetoClick() {
    if (!sbnneto->hasFocus()) sbnneto->setFocus(Qt::MouseFocusReason);
}
