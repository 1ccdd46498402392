// TForm1 handler of the ticket status change.
#include "tform1.h"

// Marks the tickets of the date range; arrives with the data layer.
void TForm1::Button3Click() {}
