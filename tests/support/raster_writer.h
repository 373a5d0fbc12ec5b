// Writes CUPS raster files with libcups's own raster writer, for feeding the
// filter pages of any size, resolution, line length, pattern and options.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <cups/raster.h>

// Defaults: A4 at 600 dpi as CUPS renders a whole-sheet imageable area.
struct RasterPage {
    unsigned width = 4960;          // cupsWidth, dots
    unsigned height = 7016;         // cupsHeight, lines
    unsigned bytesPerLine = 0;      // 0: width (8-bit grey)
    unsigned bitsPerColor = 8;
    unsigned bitsPerPixel = 8;
    cups_cspace_t colorSpace = CUPS_CSPACE_SW;
    unsigned resX = 600;                // dpi across; 600 down
    unsigned pageW = 595, pageH = 842;  // points
    bool duplex = false;
    bool tumble = false;
    unsigned copies = 1;
    // Grey value of pixel (x, y); blank paper (255) when empty.
    std::function<uint8_t(unsigned x, unsigned y)> pixel;
    // Lines actually written (default: height); fewer makes a truncated page.
    int linesWritten = -1;
    // Last changes to the header as written, for values the fields above do
    // not reach (booleans of 7, counts of 0, ...).
    std::function<void(cups_page_header2_t&)> edit;
};

// Writes the pages to `path`; returns false when libcups refuses. Compressed
// (CUPS_RASTER_WRITE_COMPRESSED), a page of few patterns takes a few KB.
bool WriteRaster(const std::string& path, const std::vector<RasterPage>& pages, cups_mode_t mode = CUPS_RASTER_WRITE);

// The page's grey lines as the filter reads them (bytesPerLine each).
std::vector<uint8_t> PageLine(const RasterPage& page, unsigned y);
