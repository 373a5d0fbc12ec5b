// Paper table and platform for a model, and the row of a page size.
#pragma once

#include "prnt/paper_tables.h"

// Table of the model named exactly `pPPDFile`; stores its platform (0 when the
// model is not in the list, which returns nullptr).
const PAPER_SIZE_INFO* GetPaperSizeArray(const char* pPPDFile, int* pPlatform);

// Row whose size equals cupsPaperSize[0] x cupsPaperSize[1] points, or -1.
// 421 x 595 is A5 fed long edge first: sets *pFeed to 1 and returns row 0.
int GetPaperArrayIndex(const unsigned int* cupsPaperSize, const PAPER_SIZE_INFO* paperTypeArray,
                       int* pFeed);
