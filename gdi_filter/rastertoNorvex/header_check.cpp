// Checks a raster page header before any buffer is sized from it. The CUPS
// library accepts line lengths that disagree with the width and sizes in the
// billions; such a page is refused with one ERROR line.
#include <cstdio>

#include "rastertoNorvex/header_check.h"
#include "rastertoNorvex/job_options.h"

namespace {

// Printer image sizes travel as 16-bit values, and the progress percentage is
// computed as line x 100 in 32 bits: 65535 lines and dots bound every page.
constexpr unsigned kMaxRasterDots = 65535;

}  // namespace

bool CheckPageHeader(const cups_page_header2_t& h) {
    const unsigned colorSpace = HeaderValue(h.cupsColorSpace);
    if (h.cupsBitsPerColor != 8 || h.cupsBitsPerPixel != 8 ||
        (colorSpace != CUPS_CSPACE_W && colorSpace != CUPS_CSPACE_SW)) {
        std::fprintf(stderr,
                     "ERROR: Unsupported raster: %u bits per color, %u bits per pixel, color space "
                     "%d; this printer takes 8-bit grey (ColorModel Gray)\n",
                     h.cupsBitsPerColor, h.cupsBitsPerPixel, static_cast<int>(colorSpace));
        return false;
    }
    if (h.cupsWidth == 0 || h.cupsWidth > kMaxRasterDots || h.cupsHeight == 0 ||
        h.cupsHeight > kMaxRasterDots) {
        std::fprintf(stderr, "ERROR: Raster page of %u x %u dots is outside 1 to %u dots\n",
                     h.cupsWidth, h.cupsHeight, kMaxRasterDots);
        return false;
    }
    if (h.cupsBytesPerLine != h.cupsWidth) {
        std::fprintf(stderr,
                     "ERROR: Raster line of %u bytes does not match its width of %u 8-bit pixels\n",
                     h.cupsBytesPerLine, h.cupsWidth);
        return false;
    }
    if (h.HWResolution[0] == 0 || h.HWResolution[1] == 0) {
        std::fprintf(stderr, "ERROR: Raster resolution %u x %u dpi is not valid\n",
                     h.HWResolution[0], h.HWResolution[1]);
        return false;
    }
    return true;
}
