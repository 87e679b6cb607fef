// The library's own entry: LoadByOrdinal is exported for hosts that look it up, and does
// nothing. Loading the library needs no other work.
#include "driver/export.h"

KELVRA_EXPORT void LoadByOrdinal(void) {}
