// Texts and values the PPDs and the Printer Application carry: the manual
// duplex instruction, the density levels, the margins of custom sizes.
#pragma once

#include <cstddef>

// A PPD translation string holds at most 80 bytes (libcups cuts longer ones,
// cupstestppd rejects them) and ends at the first ':'.
constexpr std::size_t kMaxTranslation = 80;

// The "MDuplex" entry: what the user reads (as the printer's state message)
// after the fronts of a manual-duplex job, before the printer takes the backs.
constexpr char kTurnPagesText[] =
    "Turn the printed pages over without rotating them, put them back and press OK";
static_assert(sizeof kTurnPagesText - 1 <= kMaxTranslation, "MDuplex text too long for a PPD");

// The printer's density levels ("Density" 0 to 4), lightest first, and the
// one it prints at unless told otherwise.
constexpr const char* kDensityNames[] = {"Lightest", "Light", "Normal", "Dark", "Darkest"};
constexpr int kDensityLevels = static_cast<int>(sizeof kDensityNames / sizeof kDensityNames[0]);
constexpr int kNormalDensity = 2;

// Margins of custom page sizes, in points on every side: the raster covers the
// page less these, and the filter sizes a custom page from them.
constexpr int kCustomMargin = 12;
