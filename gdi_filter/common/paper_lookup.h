// The row of a page size in a paper table (the model's table comes from
// GetPaperSizeArray in prnt/model_list.h).
#pragma once

#include "prnt/paper_tables.h"

// Row whose size equals cupsPaperSize[0] x cupsPaperSize[1] points, or -1.
// 421 x 595 is A5 fed long edge first: sets *pFeed to 1 and returns row 0.
int GetPaperArrayIndex(const unsigned int* cupsPaperSize, const PAPER_SIZE_INFO* paperTypeArray,
                       int* pFeed);
