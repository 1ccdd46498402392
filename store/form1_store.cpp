// TForm1 handlers of the store database: choosing the file and connecting.
#include "application.h"
#include "store_model.h"
#include "tform1.h"

// The selection sequence: choose the file, connect, open the four datasets,
// focus to the search box. Errors of the error base type are shown behind
// prefix by store::runSelection itself; the dialog and the message box go
// through the application's prompter so tests can answer them.
void TForm1::runSelectionSequence(const QString& prefix) {
    store::SelectionSeams seams;
    seams.chooseFile = [](const QString& lastPath) {
        return precios::chooseDatabaseFile(lastPath);
    };
    seams.showMessage = [](const QString& text) { precios::showMessage(text); };
    seams.focusSearch = [this] { ebuscar->setFocus(Qt::OtherFocusReason); };
    store::runSelection(model, prefix, seams);
}

void TForm1::Button2Click() { runSelectionSequence(store::kButton2Prefix); }
