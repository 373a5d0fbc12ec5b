// Page image transfer: JBIG-compressed dot image wrapped in the platform's
// image commands.
#pragma once

#include <cstddef>
#include <cstdint>

#include "catalogue/platform_traits.h"
#include "common/byte_buffer.h"
#include "jbigCompress/jbig_compress.h"
#include "prnt/packet.h"

// Filled by the job driver (and the blank-page insertion) for each page image.
struct _GDI_SEND_PAGE_PARAM {
    uint8_t colorPlane;
    uint8_t colorDepth;
    uint8_t dataPacking;
    uint8_t compression;
    uint16_t whlImgW;  // dots per row (pixels, times 2 in 2-bit mode)
    uint16_t whlImgH;
    uint16_t rasImgW;
    uint32_t rasImgH;
    int32_t cmpImgBytes;  // output: compressed length (0 on PLATFORM_Z)
    uint8_t* sendImgBuf;
};
typedef _GDI_SEND_PAGE_PARAM GDI_SEND_PAGE_PARAM, *PGDI_SEND_PAGE_PARAM;


struct _GDI_RASTER_IMAGE {
    uint8_t leadingByte, cmdLen, cmd;
    uint8_t colorPlane;
    uint8_t colorDepth_dataPacking_compression;
    uint8_t wholeRasterImageW[2], wholeRasterImageH[2];
    uint8_t rasterImageW[2], rasterImageH[2];
    uint8_t compressedImageBytes[4];
    uint8_t checkSum;
};
typedef _GDI_RASTER_IMAGE GDI_RASTER_IMAGE;
static_assert(sizeof(GDI_RASTER_IMAGE) == 18, "wire layout");

struct _GDI_SET_JBIG_PARAM {
    GDI_JOB_SPEC_M header;
    uint8_t cmdParamDl, cmdParamD, cmdParamP, cmdParamReserved;
    uint8_t cmdParamXd[4], cmdParamYd[4], cmdParamL0[4];
    uint8_t cmdParamMx, cmdParamMy, cmdParamOrder, cmdParamOption;
};
typedef _GDI_SET_JBIG_PARAM GDI_SET_JBIG_PARAM;
static_assert(sizeof(GDI_SET_JBIG_PARAM) == 36, "wire layout");

constexpr int kJbigBandHeight = kPlatformTraits[TraitsRow(PLATFORM_Z)].bandHeight;  // PLATFORM_Z band height
static_assert(kJbigBandHeight > 0, "PLATFORM_Z sends its pages in bands");
constexpr int kJbigBandCmdLen = 48;         // PLATFORM_Z band command
constexpr int kJbigPackageSize = 65536;     // PLATFORM_M data package

int Prnt_SendPage(GDI_SEND_PAGE_PARAM* pSendPageParam, int platform);

// The JBIG parameters of the page image on the platform (on PLATFORM_Z those
// of the page; each band takes its own height).
JBIG_BIH JbigParamsFor(const GDI_SEND_PAGE_PARAM& page, int platform);
// The JBIG streams the page goes in: 256-line bands on PLATFORM_Z, else one.
uint32_t JbigBandCount(const JBIG_BIH& pageBih, int platform);
// Appends band `band` of the page's dots to `out`, on PLATFORM_Z behind its band
// command, and sets *checksum to the image checksum of the band. Returns 0 when
// a buffer could not be had (nothing is appended then). Touches no global, so
// bands may be compressed on several threads at once.
int CompressImageBand(const GDI_SEND_PAGE_PARAM& page, const JBIG_BIH& pageBih, uint32_t band,
                      int platform, ByteBuffer* out, uint32_t* checksum);
// First guess at the compressed size of `rawBytes` of dots; buffers grow past it.
std::size_t CompressedSizeGuess(std::size_t rawBytes);
// Appends the compressed page (on PLATFORM_Z with its band commands) to outbuf,
// sets gImageChecksum and returns the page's length, or -1 with a message in
// prntLastError when the image cannot be encoded or a buffer cannot be had.
int OutputJbigkitCompression(const GDI_SEND_PAGE_PARAM* pSendPageParam, const JBIG_BIH* JbigBih,
                             ByteBuffer* outbuf, int platform);
// Checks the dot image before anything is sized from it; 0 with a message in
// prntLastError when it cannot be sent.
int CheckPageImage(const GDI_SEND_PAGE_PARAM& page);
// The same check without a message: whether the page can be compressed at all.
bool IsEncodableImage(const GDI_SEND_PAGE_PARAM& page);
// Sends the compressed page in the platform's image commands; sets cmpImgBytes.
int SendPageImage(GDI_SEND_PAGE_PARAM* pSendPageParam, const JBIG_BIH& bih, const ByteBuffer& image,
                  int platform);
// PLATFORM_M: the compressed page in JBIG_DATA_CMD packages of at most 64 KiB,
// then JBIG_END_CMD.
int SendJbigPackages(const uint8_t* data, int len);
int GetRasterImageCmd(const GDI_SEND_PAGE_PARAM* pSendPageParam, GDI_RASTER_IMAGE* pGdiRasterImage);
int SetJBIGCmdAndParam(GDI_SET_JBIG_PARAM* pJBIGCmdAndParam, const JBIG_BIH* JbigBih,
                       uint32_t cmdLen, uint32_t cmdType, uint16_t cmdSignature);
