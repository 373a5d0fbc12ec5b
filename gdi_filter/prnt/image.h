// Page image transfer: JBIG-compressed dot image wrapped in the platform's
// image commands.
#pragma once

#include <cstddef>
#include <cstdint>

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

// JBIG parameters of a page image, mirroring the T.82 image header.
struct _JBIG_BIH {
    uint8_t ParamDl;
    uint8_t ParamD;
    uint8_t ParamP;
    uint8_t ParamReserved;
    uint32_t ParamImgWidth;
    uint32_t ParamImgHeight;
    uint32_t ParamL0;
    uint8_t ParamMx;
    uint8_t ParamMy;
    uint8_t ParamOrder;
    uint8_t ParamOption;
};
typedef _JBIG_BIH JBIG_BIH;

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

constexpr int kJbigBandHeight = 256;        // PLATFORM_Z band height
constexpr int kJbigBandCmdLen = 48;         // PLATFORM_Z band command
constexpr int kJbigPackageSize = 65536;     // PLATFORM_M data package

// The compressed page as it goes to the printer, assembled band by band. It
// grows when the data outgrows it (JBIG output of unfavourable content can be
// larger than the raw dots), so nothing is ever written past its end.
struct PageImageBuffer {
    uint8_t* data = nullptr;
    int size = 0;      // bytes written
    int capacity = 0;  // bytes allocated
    PageImageBuffer() = default;
    ~PageImageBuffer();
    PageImageBuffer(const PageImageBuffer&) = delete;
    PageImageBuffer& operator=(const PageImageBuffer&) = delete;
};
// Allocates `capacity` bytes for an empty buffer; 0 when that fails.
int ReservePageImage(PageImageBuffer* buf, std::size_t capacity);
// Appends `len` bytes, growing the buffer; 0 when it cannot grow.
int AppendPageImage(PageImageBuffer* buf, const void* data, std::size_t len);

int Prnt_SendPage(GDI_SEND_PAGE_PARAM* pSendPageParam, int platform);
// Appends the compressed page (on PLATFORM_Z with its band commands) to outbuf and
// returns its length, or -1 with a message in prntLastError when a buffer could
// not be allocated or a band could not be compressed.
int OutputJbigkitCompression(const GDI_SEND_PAGE_PARAM* pSendPageParam, JBIG_BIH* JbigBih,
                             PageImageBuffer* outbuf, int platform);
// PLATFORM_M: the compressed page in JBIG_DATA_CMD packages of at most 64 KiB,
// then JBIG_END_CMD.
int SendJbigPackages(const uint8_t* data, int len);
int GetRasterImageCmd(const GDI_SEND_PAGE_PARAM* pSendPageParam, GDI_RASTER_IMAGE* pGdiRasterImage);
int SetJBIGCmdAndParam(GDI_SET_JBIG_PARAM* pJBIGCmdAndParam, const JBIG_BIH* JbigBih,
                       uint32_t cmdLen, uint32_t cmdType, uint16_t cmdSignature);
