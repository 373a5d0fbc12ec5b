// The filter's option text (its fifth argument) from a job's IPP attributes.
#pragma once

#include <string>

#include <pappl/pappl.h>

// Density level 0..4 of the printer for the job's darkness: the printer's
// configured darkness (0..100) moved by the job's print-darkness (-100..100).
int DensityLevel(int darknessConfigured, int printDarkness);

// Keywords the filter reads: Duplex/Sides, ManualDuplex (two-sided printing on
// PLATFORM_M, which has no duplexer), Density, InputSlot and the vendor options.
std::string FilterOptionText(const pappl_pr_options_t& options, int platform);

// The page header as the filter must see it: on PLATFORM_M two-sided printing
// is manual duplex, so the header asks for no machine duplex.
void AdjustPageHeader(cups_page_header2_t& header, int platform);
