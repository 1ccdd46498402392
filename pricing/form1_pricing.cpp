// TForm1 handlers of the price panels: the fill from the item record, the
// recalculations when a simulation box is left, and applying the prices.
// Their bodies arrive with the price logic and the data layer.
#include "tform1.h"

void TForm1::DSARTICULOSDataChange() {}

void TForm1::spcbasesdExit() {}

void TForm1::spcbaseExit() {}

void TForm1::spcivaExit() {}

void TForm1::sbeneficioExit() {}

void TForm1::sbnnetoExit() {}

void TForm1::spvp1baseExit() {}

void TForm1::spvp1ivaExit() {}

void TForm1::Button1Click() {}
