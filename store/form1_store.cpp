// TForm1 handlers of the store database: choosing the file and connecting.
#include "tform1.h"

// The selection sequence: choose the file, connect, open the four datasets,
// focus to the search box; errors are shown behind prefix. Empty until the
// data layer exists: at start nothing is chosen and the window opens empty.
void TForm1::runSelectionSequence(const QString& prefix) { Q_UNUSED(prefix); }

void TForm1::Button2Click() {
    runSelectionSequence(QStringLiteral("Error al abrir la base de datos: "));
}
