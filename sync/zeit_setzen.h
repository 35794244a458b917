// The synchronisation run: four time sources in turn, each answer written to the local clock.
// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <string_view>

#include "dienste.h"
#include "plattform.h"

namespace dadaviru {

// Passes 0 to 2; each program links the table it was built with.
extern const std::array<std::string_view, 3> Quellen;

// Never fails and never throws; ends by arming the exit timer.
void Zeit_setzen(Inet_Dienst& inet, Timer_Dienst& timer_ende, Plattform& plattform);

}  // namespace dadaviru
