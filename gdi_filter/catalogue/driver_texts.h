// Values the generated PPDs carry that their checks compare against.
#pragma once

#include <cstddef>

#include "common/platform.h"

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

// PLATFORM_C printers turn the sheet themselves; the others print the backs
// after the user has turned the fronts over (manual duplex).
inline bool HasDuplexer(int platform) { return platform == PLATFORM_C; }

// The "PlatForm" entry of a model of that platform, as the filter compares it.
inline const char* PlatformKeyword(int platform) {
    switch (platform) {
        case PLATFORM_C: return "PLATFORM_C";
        case PLATFORM_Z: return "PLATFORM_Z";
        case PLATFORM_M: return "PLATFORM_M";
        default: return nullptr;
    }
}
