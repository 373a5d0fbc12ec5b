// Page start and end, with the page dot count and image checksum reports.
#pragma once

#include <cstdint>

// Filled by the job driver (and by the blank-page insertion) for each page.
struct _GDI_START_PAGE_PARAM {
    uint16_t paperSize;
    uint16_t mediaType;
    uint16_t resolutionX;
    uint16_t resolutionY;
    uint16_t tray;
    uint16_t colorMode;
    uint16_t feedEdge;
    uint16_t marginUnit;
    uint16_t copies;
    uint16_t marginX;
    uint16_t marginY;
    uint16_t pageNum;
    uint16_t userPhyPgW;
    uint16_t userPhyPgH;
    uint16_t userPrntAreaW;
    uint16_t userPrntAreaH;
    uint32_t iIs2bit;
    uint8_t densityLevel;
};
typedef _GDI_START_PAGE_PARAM GDI_START_PAGE_PARAM, *PGDI_START_PAGE_PARAM;

constexpr uint16_t kFeedLongEdge = 0x40;

struct _GDI_END_PAGE_PARAM {
    int32_t page;
    int32_t bMachDup;
    int32_t resolutionE;
    int32_t paperWidthE;
    int32_t densityE;
    int32_t dotCnt;  // output of the page end on PLATFORM_C
};
typedef _GDI_END_PAGE_PARAM GDI_END_PAGE_PARAM, *PGDI_END_PAGE_PARAM;

// Black dots of the current page (added by the halftoning).
extern uint32_t gImageCoverage;
// 8-bit checksum of the last compressed image (set by the image transfer).
extern uint32_t gImageChecksum;

struct _GDI_PAGE_SPEC {
    uint8_t leadingByte, cmdLen, cmd;
    uint8_t paperSize, mediaType, resolutionX, resolutionY, tray;
    uint8_t colorMode_feedEdge_marginUnit;
    uint8_t copies[2], marginX[2], marginY[2], pageNum[2];
    uint8_t checkSum;
};
typedef _GDI_PAGE_SPEC GDI_PAGE_SPEC;
static_assert(sizeof(GDI_PAGE_SPEC) == 18, "wire layout");

struct _GDI_CUSTOM_PAPER {
    uint8_t leadingByte, cmdLen, cmd;
    uint8_t physicalPageW[2], physicalPageH[2], printableAreaW[2], printableAreaH[2];
    uint8_t checkSum;
};
typedef _GDI_CUSTOM_PAPER GDI_CUSTOM_PAPER;
static_assert(sizeof(GDI_CUSTOM_PAPER) == 12, "wire layout");

struct _GDI_IMAGE_DATA_CHECKSUM {
    uint8_t leadingByte, cmdLen, cmd;
    uint8_t imageChecksum[2];
    uint8_t checkSum;
};
typedef _GDI_IMAGE_DATA_CHECKSUM GDI_IMAGE_DATA_CHECKSUM;

struct _GDI_COVERAGE_C {
    uint8_t leadingByte, cmdLen, cmd;
    uint8_t printedPoints[2];
    uint8_t checkSum;
};
typedef _GDI_COVERAGE_C GDI_COVERAGE_C;

struct _GDI_COVERAGE_Z {
    uint8_t leadingByte, cmdLen, cmd;
    uint8_t printedPoints[3];
    uint8_t checkSum;
};
typedef _GDI_COVERAGE_Z GDI_COVERAGE_Z;

int Prnt_StartPage(const GDI_START_PAGE_PARAM* pStartPageParam, int platform);
int Prnt_EndPage(GDI_END_PAGE_PARAM* pEndPageParam, int platform);

int GetPageSpecCmd(const GDI_START_PAGE_PARAM* pStartPageParam, GDI_PAGE_SPEC* pGdiPageSpec,
                   int platform);
int GetCustomPaperCmd(const GDI_START_PAGE_PARAM* pStartPageParam,
                      GDI_CUSTOM_PAPER* pGdiCustomPaper, int platform);
int GetImageDataChenksumCmd(GDI_IMAGE_DATA_CHECKSUM* pGdiImageDataChenksum);
int GetCoverageCmd_C(GDI_END_PAGE_PARAM* pEndPageParam, GDI_COVERAGE_C* pGdiCoverage);
int GetCoverageCmd_Z(GDI_COVERAGE_Z* pGdiCoverage);
