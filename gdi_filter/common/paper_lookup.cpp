// The row of a page size in a paper table.
#include "common/paper_lookup.h"

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
