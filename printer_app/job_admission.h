// How many jobs a printer takes at a time: one; the next is refused busy
// until it ends.
#pragma once

#include <pappl/pappl.h>

// PAPPL's printer creation callback (papplSystemSetPrinterDrivers).
void TakeOneJobAtATime(pappl_printer_t* printer, void* data);

// The printers papplSystemLoadState made: the state file carries each
// printer's own limit, and an older file none.
void TakeOneJobAtATimeOnAll(pappl_system_t* system);
