// Timer_start's interval, fixed when a program is linked, as its time services are: 30 s in the
// programs as shipped, a short wait in the loopback programs of the end-to-end tests.
// SPDX-License-Identifier: MIT
#include "app/frm_zeit.h"

namespace dadaviru {
const int Wartezeit_ms = DADAVIRU_WARTEZEIT_MS;
}  // namespace dadaviru
