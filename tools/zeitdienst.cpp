// zeitdienst: an HTTP time service that answers "YYYY-MM-DD HH:MM:SS" at the start of each second.
// SPDX-License-Identifier: MIT
#include "dienst.h"

int main(int argc, char** argv) { return zeitdienst::hauptprogramm(argc, argv); }
