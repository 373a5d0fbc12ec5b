// The row of a page size in a paper table, and the margins its crop leaves.
#include "catalogue/paper_lookup.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kDotsPerPoint = 600.0 / 72.0;

// Dots a raster of a sheet of `points` loses to an image of `imageDots`.
// Sizes in points are whole numbers (the table's, the page header's) and a
// client rounds its raster to whole dots: a raster may be a point and a dot
// larger than its size says.
double LostDots(double points, double imageDots) { return (points + 1) * kDotsPerPoint + 1 - imageDots; }

int HundredthsOfMm(double dots) { return static_cast<int>(std::ceil(dots * 2540.0 / 600.0)); }

}  // namespace

int GetPaperArrayIndex(const unsigned int* cupsPaperSize, const PAPER_SIZE_INFO* paperTypeArray,
                       int* pFeed) {
    // 421 x 595 points is how an A5 page fed long edge first arrives; row 0 is
    // A5 in every table.
    if (cupsPaperSize[0] == 421 && cupsPaperSize[1] == 595) {
        *pFeed = 1;
        return 0;
    }
    for (int row = 0; paperTypeArray[row].cupsPaperW != -1; ++row) {
        if (static_cast<unsigned>(paperTypeArray[row].cupsPaperW) == cupsPaperSize[0] &&
            static_cast<unsigned>(paperTypeArray[row].cupsPaperH) == cupsPaperSize[1])
            return row;
    }
    return -1;
}

UnprintableMargins LargestUnprintableMargins(const PAPER_SIZE_INFO* table, int customMarginPoints) {
    // A custom page's image is its size less the margins, cut to whole dots
    // (then widened to a multiple of 32 or 8 dots, which only loses less).
    double across = LostDots(2.0 * customMarginPoints, -1) / 2;
    double down = LostDots(2.0 * customMarginPoints, -1);
    for (const PAPER_SIZE_INFO* row = table; row->cupsPaperW != -1; ++row) {
        across = std::max(across, LostDots(row->cupsPaperW, row->fwPaperW) / 2);
        down = std::max(down, LostDots(row->cupsPaperH, row->fwPaperH));
    }
    return {HundredthsOfMm(across), HundredthsOfMm(down)};
}
