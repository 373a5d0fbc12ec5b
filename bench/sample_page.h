// A realistic A4 page at 600 dpi as the job driver hands it to the halftoning:
// 8-bit grey, one byte per pixel, rows contiguous.
#pragma once

#include <cstdint>
#include <vector>

constexpr uint32_t kSamplePageWidth = 4736;   // A4 printable width in dots
constexpr uint32_t kSamplePageHeight = 6780;  // A4 printable height in dots

// Text-like strokes in the top half, a grey ramp below them, and a photo-like
// noisy area at the bottom, on white paper. The same page on every call.
std::vector<uint8_t> MakeSamplePage();
