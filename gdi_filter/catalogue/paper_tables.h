// Paper tables: for each paper the controller's code and image size in dots.
#pragma once

#include <cstdint>

struct PAPER_SIZE_INFO {
    int32_t cupsPaperW;  // points; -1 marks the row that ends a table
    int32_t cupsPaperH;
    int32_t fwPaperW;    // dots at 600 dpi, a multiple of 8
    int32_t fwPaperH;
    int32_t fwPaperNum;  // the controller's paper code
    uint16_t fwPaperMarginX;
    uint16_t fwPaperMarginY;
    char strPageSize[15];  // PPD page size name
};

extern const PAPER_SIZE_INFO gPaperSizeArray_Orvane[25];
extern const PAPER_SIZE_INFO gPaperSizeArray_OrvaneMFP[24];
extern const PAPER_SIZE_INFO gPaperSizeArray_Dolvek_Serith[24];
extern const PAPER_SIZE_INFO gPaperSizeArray_Lurran_Tessik[24];
