// What the web pages say beyond PAPPL's own words: labels and help for the
// vendor options and names for the density levels on the printing-defaults
// page, and how a printer prints both sides on its home page.
#pragma once

#include <pappl/pappl.h>

// Adds the app's words to PAPPL's English ones (through a strings resource),
// and the script of the printing-defaults page.
void AddWebTexts(pappl_system_t* system);

// PAPPL's printer-creation callback: the home page of every printer, added,
// found or loaded, says how it prints two-sided.
void ShowPrinterAbilities(pappl_printer_t* printer, void* data);
