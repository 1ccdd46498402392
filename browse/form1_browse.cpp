// TForm1 handlers of item browsing: the search box and the item record's state.
#include "tform1.h"

// Re-reads the item list with the search text; arrives with the data layer.
void TForm1::ebuscarChange() {}

// Enables "Guardar" and "Cancelar" while an edit of the item record is pending.
void TForm1::DSARTICULOSStateChange() {}
