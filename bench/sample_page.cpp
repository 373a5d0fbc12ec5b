// A realistic A4 page for the benchmarks: text, a grey ramp and a photo.
#include "sample_page.h"

#include <cmath>
#include <cstddef>

namespace {

constexpr uint32_t kMargin = 240;  // 0.4 inch of white around the content

// Small deterministic generator so every run measures the same page.
struct Lcg {
    uint32_t state;
    uint32_t Next() {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    }
};

uint8_t* At(std::vector<uint8_t>& page, uint32_t row, uint32_t col) {
    return &page[static_cast<std::size_t>(row) * kSamplePageWidth + col];
}

// Lines of 10-point text: glyph boxes of vertical and horizontal strokes with
// anti-aliased edges, words separated by blanks, the last line of a paragraph short.
void DrawText(std::vector<uint8_t>& page, uint32_t top, uint32_t bottom, Lcg& rng) {
    constexpr uint32_t kLinePitch = 84, kGlyphH = 52, kStroke = 6;
    for (uint32_t line = top; line + kLinePitch <= bottom; line += kLinePitch) {
        const uint32_t lineNo = (line - top) / kLinePitch;
        const uint32_t right = lineNo % 9 == 8 ? kSamplePageWidth / 2 : kSamplePageWidth - kMargin;
        uint32_t x = kMargin;
        while (x + 40 < right) {
            const uint32_t glyphW = 24 + rng.Next() % 16;
            if (rng.Next() % 6 == 0) {  // word space
                x += 30;
                continue;
            }
            const uint32_t shape = rng.Next();
            const uint32_t baseline = line + kGlyphH;
            const uint32_t ascent = (shape & 1) ? kGlyphH : kGlyphH * 2 / 3;
            for (uint32_t y = baseline - ascent; y < baseline; ++y) {
                for (uint32_t dx = 0; dx < glyphW; ++dx) {
                    const bool leftStem = dx < kStroke;
                    const bool rightStem = (shape & 2) && dx >= glyphW - kStroke;
                    const bool bar = (shape & 4) && y >= baseline - kStroke;
                    const bool topBar = (shape & 8) && y < baseline - ascent + kStroke;
                    uint8_t v = 255;
                    if (leftStem || rightStem || bar || topBar) v = 0;
                    else if (dx == kStroke) v = 160;  // anti-aliased edge
                    if (v < *At(page, y, x + dx)) *At(page, y, x + dx) = v;
                }
            }
            x += glyphW + 8;
        }
    }
}

// A left-to-right ramp from black to white, as in a chart background.
void DrawRamp(std::vector<uint8_t>& page, uint32_t top, uint32_t bottom) {
    const uint32_t span = kSamplePageWidth - 2 * kMargin;
    for (uint32_t y = top; y < bottom; ++y)
        for (uint32_t x = 0; x < span; ++x) *At(page, y, kMargin + x) = static_cast<uint8_t>(x * 256 / span);
}

// Smooth shapes with sensor-like noise, as a scanned photograph.
void DrawPhoto(std::vector<uint8_t>& page, uint32_t top, uint32_t bottom, Lcg& rng) {
    const uint32_t left = kMargin, right = kSamplePageWidth - kMargin;
    for (uint32_t y = top; y < bottom; ++y) {
        for (uint32_t x = left; x < right; ++x) {
            const double u = (x - left) / 600.0, w = (y - top) / 600.0;
            const double smooth = 128 + 70 * std::sin(u * 2.1 + std::cos(w * 1.3)) + 40 * std::cos(w * 3.7 - u);
            const int noisy = static_cast<int>(smooth) + static_cast<int>(rng.Next() % 41) - 20;
            *At(page, y, x) = static_cast<uint8_t>(noisy < 0 ? 0 : noisy > 255 ? 255 : noisy);
        }
    }
}

}  // namespace

std::vector<uint8_t> MakeSamplePage() {
    std::vector<uint8_t> page(static_cast<std::size_t>(kSamplePageWidth) * kSamplePageHeight, 255);
    Lcg rng{12345};
    const uint32_t bottom = kSamplePageHeight - kMargin;
    DrawText(page, kMargin, 3300, rng);
    DrawRamp(page, 3400, 4000);
    DrawPhoto(page, 4100, bottom, rng);
    return page;
}
