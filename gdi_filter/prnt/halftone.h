// Halftone dithering: 8-bit grey page to a packed 1-bit (or 2-bit) dot image.
#pragma once

#include <cstdint>

// Threshold matrices (values 1..255), indexed [row][column].
extern const uint8_t HT_TABLE_600[16][16];
extern const uint8_t HT_TABLE_1200_Z[16][16];
extern const uint8_t HT_TABLE_1200_C[28][28];
// Tone code to 2-bit dot value.
extern const uint8_t HT_TABLE_2BIG[256];

// Dithers srcImgHpixels rows of srcImgWbytes grey bytes into pTarImgData, which
// must be zero-filled. Adds the page's dots to gImageCoverage on PLATFORM_C/Z.
// Returns 0 for a null pointer or an unknown platform, else 1 (an empty page
// writes nothing).
int HalftoneDither(const uint8_t* pSrcImgData, uint32_t srcImgWbytes, uint32_t srcImgHpixels,
                   uint8_t* pTarImgData, uint32_t realImgWByte, int bNegative, int b1200dpi,
                   int platform);
// The rows of one band of the page, dithered as HalftoneDither dithers them
// within the page when the band starts a multiple of 16 rows into it (the
// screen restarts on every band) and the rows are whole bytes. The band's dots
// are added to *dotCount, not to gImageCoverage, so that bands can be dithered
// on several threads at once.
int HalftoneDitherBand(const uint8_t* pSrcImgData, uint32_t srcImgWbytes, uint32_t srcImgHpixels,
                       uint8_t* pTarImgData, int bNegative, int b1200dpi, int platform,
                       uint32_t* dotCount);
// The same dots made one at a time, as the screen is defined; HalftoneDither
// takes this path only for rows that do not end on a byte boundary, and on
// processors without SSE2.
int HalftoneDitherPerPixel(const uint8_t* pSrcImgData, uint32_t srcImgWbytes,
                           uint32_t srcImgHpixels, uint8_t* pTarImgData, uint32_t realImgWByte,
                           int bNegative, int b1200dpi, int platform);
