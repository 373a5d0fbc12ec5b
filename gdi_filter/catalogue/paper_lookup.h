// The row of a page size in a paper table (the model's table comes from
// GetPaperSizeArray in catalogue/model_list.h), and what the filter cuts off a page.
#pragma once

#include "catalogue/paper_tables.h"

// Row whose size equals cupsPaperSize[0] x cupsPaperSize[1] points, or -1.
// 421 x 595 is A5 fed long edge first: sets *pFeed to 1 and returns row 0.
int GetPaperArrayIndex(const unsigned int* cupsPaperSize, const PAPER_SIZE_INFO* paperTypeArray,
                       int* pFeed);

// Margins in 1/100 mm that nothing a client places inside survives. The
// filter takes the printer's image from the middle of each raster line and
// from the top of the page: each side loses half the width the image lacks,
// the bottom all the height it lacks.
struct UnprintableMargins {
    int leftRight;  // on each side
    int bottomTop;  // at the bottom (the top loses nothing, but one value serves both)
};

// The largest over the rows of a table and over custom sizes, whose image is
// the sheet less `customMarginPoints` on every side.
UnprintableMargins LargestUnprintableMargins(const PAPER_SIZE_INFO* table, int customMarginPoints);
