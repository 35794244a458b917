// pruefdienst: zeitdienst with the fault modes the tests need (fixed body, status, delay, drip, huge, redirect).
// SPDX-License-Identifier: MIT
#include "dienst.h"

int main(int argc, char** argv) { return zeitdienst::hauptprogramm(argc, argv, true); }
