// Page image transfer: the dot image JBIG-compressed and wrapped in the image
// commands of the printer's platform.
#include "prnt/image.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/byte_order.h"
#include "common/last_error.h"
#include "common/platform.h"
#include "prnt/fixed_commands.h"
#include "prnt/page.h"

extern "C" {
#include <jbig.h>
}

namespace {

constexpr uint32_t ByteSum(const char* text) {
    uint32_t sum = 0;
    while (*text != '\0') sum += static_cast<uint8_t>(*text++);
    return sum;
}

// PLATFORM_C checks the image against the sum of every byte from the image data
// up to its checksum command, and UEL_CMD_C (sent by the page end) lies in
// between: its nine bytes count too.
constexpr uint32_t kUelCmdCSum = ByteSum(UEL_CMD_C);
static_assert(kUelCmdCSum % 256 == 0x9E, "UEL_CMD_C sums to 0x9E modulo 256");

constexpr uint8_t kRasterImageCmd = 0x0C;
constexpr uint8_t kJbigBandCmd = 0x1A;
constexpr uint32_t kBandPlane = 3;

// jbigCmd: the band's JBIG header in the controller's little-endian form (the
// T.82 header inside the data is big-endian), then where the band goes and how
// many compressed bytes follow it.
void BuildBandCmd(uint8_t (&cmd)[kJbigBandCmdLen], const JBIG_BIH& bih, uint32_t compBytes,
                  uint32_t posVert) {
    std::memset(cmd, 0, sizeof cmd);
    cmd[0] = kShortCmdLead;
    cmd[1] = kJbigBandCmdLen;
    cmd[2] = kJbigBandCmd;
    cmd[5] = bih.ParamP;
    PutLE32(cmd + 7, bih.ParamImgWidth);
    PutLE32(cmd + 11, bih.ParamL0);
    PutLE32(cmd + 15, bih.ParamImgHeight);
    cmd[19] = bih.ParamMx;
    cmd[20] = bih.ParamMy;
    cmd[21] = bih.ParamOrder;
    cmd[22] = bih.ParamOption;
    // BandInfo. The printer takes the data unpadded: padded size = size.
    PutLE32(cmd + 23, compBytes);
    PutLE32(cmd + 27, compBytes);
    PutLE32(cmd + 31, 0);
    PutLE32(cmd + 35, posVert);
    PutLE32(cmd + 39, kBandPlane);
    PutLE32(cmd + 43, 0);
    SealShortCmd(cmd, kJbigBandCmdLen);
}

int SendImage_Z(GDI_SEND_PAGE_PARAM* page, const ByteBuffer& image) {
    page->cmpImgBytes = 0;  // the band commands carry the sizes
    GDI_COVERAGE_Z coverage;
    GetCoverageCmd_Z(&coverage);
    if (!SendRecord(coverage, 1)) return FailStep("Prnt_SendPage() :: send cmdCoverage Fail .  \n");
    Insert00();
    GDI_RASTER_IMAGE rasterImage;
    GetRasterImageCmd(page, &rasterImage);
    if (!SendRecord(rasterImage, 1)) return FailStep("Prnt_SendPage() :: send cmdRasterImage Fail .  \n");
    if (!SendDataToFile(image.data, image.size, 1))
        return FailStep("Prnt_SendPage() :: Send compressed data and cmd fail.  \n");
    return 1;
}

int SendImage_C(GDI_SEND_PAGE_PARAM* page, const ByteBuffer& image) {
    page->cmpImgBytes = image.size;
    GDI_RASTER_IMAGE rasterImage;
    GetRasterImageCmd(page, &rasterImage);
    if (!SendRecord(rasterImage, 1)) return FailStep("Prnt_SendPage() :: send cmdRasterImage Fail .  \n");
    if (!SendDataToFile(image.data, image.size, 1))
        return FailStep("Prnt_SendPage() :: Send compressed data and cmd fail.  \n");
    return 1;
}

int SendImage_M(GDI_SEND_PAGE_PARAM* page, const JBIG_BIH& bih, const ByteBuffer& image) {
    page->cmpImgBytes = image.size;
    GDI_SET_JBIG_PARAM jbigParam;
    SetJBIGCmdAndParam(&jbigParam, &bih, sizeof jbigParam, JBIG_PARAM_CMD, kLongCmdSignature);
    if (!SendRecord(jbigParam, 1)) return FailStep("Prnt_SendPage() :: send JBIG_PARAM_CMD Fail 0 ==  \n");
    return SendJbigPackages(image.data, image.size);
}

}  // namespace

JBIG_BIH JbigParamsFor(const GDI_SEND_PAGE_PARAM& page, int platform) {
    JBIG_BIH bih{};
    bih.ParamP = 1;
    bih.ParamImgWidth = page.whlImgW;
    bih.ParamImgHeight = page.whlImgH;
    switch (platform) {
        case PLATFORM_C:
            bih.ParamL0 = page.rasImgH;
            bih.ParamMx = 8;
            bih.ParamOrder = 0;
            bih.ParamOption = JBG_TPBON;
            break;
        case PLATFORM_Z:
            // The encoder ignores a lowest layer above the layer count; the
            // band command carries DL 0 whatever this says.
            bih.ParamDl = 255;
            bih.ParamL0 = kJbigBandHeight;
            bih.ParamOrder = JBG_ILEAVE | JBG_SMID;
            bih.ParamOption = JBG_LRLTWO | JBG_TPDON | JBG_TPBON;
            break;
        default:
            bih.ParamL0 = kJbigBandHeight;
            bih.ParamOrder = JBG_ILEAVE | JBG_SMID;
            bih.ParamOption = JBG_LRLTWO | JBG_TPDON | JBG_TPBON | JBG_DPON;
            break;
    }
    return bih;
}

// Halftoned pages compress to a fraction of their dots, blank ones to almost
// nothing, so reserving the raw size (or twice it) would only cost memory.
std::size_t CompressedSizeGuess(std::size_t rawBytes) {
    return std::min<std::size_t>(INT_MAX, std::max<std::size_t>(rawBytes / 8, 64 * 1024));
}

// The image must be whole bytes per row and not empty; a buffer is never sized
// from dimensions that could not be encoded.
bool IsEncodableImage(const GDI_SEND_PAGE_PARAM& page) {
    return page.sendImgBuf != nullptr && page.whlImgW != 0 && page.whlImgH != 0 &&
           page.whlImgW % 8 == 0;
}

// The same rule, with the reason in prntLastError when it fails.
int CheckPageImage(const GDI_SEND_PAGE_PARAM& page) {
    if (IsEncodableImage(page)) return 1;
    char message[256];
    if (page.sendImgBuf == nullptr) return FailStep("Prnt_SendPage() :: NULL == sendImgBuf .  \n");
    if (page.whlImgW == 0 || page.whlImgH == 0) {
        std::snprintf(message, sizeof message, "Prnt_SendPage() :: empty image %u x %u .  \n",
                      unsigned{page.whlImgW}, unsigned{page.whlImgH});
        return FailStep(message);
    }
    if (page.whlImgW % 8 != 0) {
        std::snprintf(message, sizeof message,
                      "Prnt_SendPage() :: whlImgW %u is not a multiple of 8 .  \n",
                      unsigned{page.whlImgW});
        return FailStep(message);
    }
    return 1;
}

int GetRasterImageCmd(const GDI_SEND_PAGE_PARAM* pSendPageParam, GDI_RASTER_IMAGE* pGdiRasterImage) {
    const GDI_SEND_PAGE_PARAM& page = *pSendPageParam;
    GDI_RASTER_IMAGE& cmd = *pGdiRasterImage;
    cmd.leadingByte = kShortCmdLead;
    cmd.cmdLen = sizeof(GDI_RASTER_IMAGE);
    cmd.cmd = kRasterImageCmd;
    cmd.colorPlane = page.colorPlane;
    cmd.colorDepth_dataPacking_compression = page.colorDepth | page.dataPacking | page.compression;
    PutLE16(cmd.wholeRasterImageW, page.whlImgW);
    PutLE16(cmd.wholeRasterImageH, page.whlImgH);
    PutLE16(cmd.rasterImageW, page.rasImgW);
    PutLE16(cmd.rasterImageH, page.rasImgH);
    PutLE32(cmd.compressedImageBytes, static_cast<uint32_t>(page.cmpImgBytes));
    SealShortCmd(&cmd);
    return 1;
}

int SetJBIGCmdAndParam(GDI_SET_JBIG_PARAM* pJBIGCmdAndParam, const JBIG_BIH* JbigBih,
                       uint32_t cmdLen, uint32_t cmdType, uint16_t cmdSignature) {
    GDI_SET_JBIG_PARAM& cmd = *pJBIGCmdAndParam;
    SetCmdType(&cmd.header, cmdLen, cmdType, 0, 0, cmdSignature);
    cmd.cmdParamDl = JbigBih->ParamDl;
    cmd.cmdParamD = JbigBih->ParamD;
    cmd.cmdParamP = JbigBih->ParamP;
    cmd.cmdParamReserved = JbigBih->ParamReserved;
    PutBE32(cmd.cmdParamXd, JbigBih->ParamImgWidth);
    PutBE32(cmd.cmdParamYd, JbigBih->ParamImgHeight);
    PutBE32(cmd.cmdParamL0, JbigBih->ParamL0);
    cmd.cmdParamMx = JbigBih->ParamMx;
    cmd.cmdParamMy = JbigBih->ParamMy;
    cmd.cmdParamOrder = JbigBih->ParamOrder;
    cmd.cmdParamOption = JbigBih->ParamOption;
    return 1;
}

uint32_t JbigBandCount(const JBIG_BIH& pageBih, int platform) {
    if (platform != PLATFORM_Z) return 1;
    return (pageBih.ParamImgHeight + kJbigBandHeight - 1) / kJbigBandHeight;
}

int CompressImageBand(const GDI_SEND_PAGE_PARAM& page, const JBIG_BIH& pageBih, uint32_t band,
                      int platform, ByteBuffer* out, uint32_t* checksum) {
    const int start = out->size;
    JBIG_BIH bih = pageBih;
    uint8_t* bits = page.sendImgBuf;
    std::size_t cmdAt = 0;
    const bool banded = platform == PLATFORM_Z;
    if (banded) {
        // Each band is a stream of its own, read in place from the page: the
        // encoder reads exactly the band's rows.
        const uint32_t top = band * kJbigBandHeight;
        const uint32_t rows = std::min<uint32_t>(kJbigBandHeight, pageBih.ParamImgHeight - top);
        bits += std::size_t{top} * (pageBih.ParamImgWidth / 8);
        bih.ParamImgHeight = rows;
        bih.ParamL0 = rows;
        // The band command goes in front; its sizes are known after the encoding.
        cmdAt = static_cast<std::size_t>(out->size);
        uint8_t cmd[kJbigBandCmdLen] = {};
        if (!AppendBytes(out, cmd, sizeof cmd)) return 0;
    }
    const int dataAt = out->size;
    if (JBIGCompress(bih, bits, out) != 1) {
        out->size = start;
        return 0;
    }
    uint32_t sum = kUelCmdCSum;
    for (int k = dataAt; k < out->size; ++k) sum += out->data[k];
    *checksum = sum % 256;
    if (banded) {
        uint8_t cmd[kJbigBandCmdLen];
        BuildBandCmd(cmd, bih, static_cast<uint32_t>(out->size - dataAt), band * kJbigBandHeight);
        std::memcpy(out->data + cmdAt, cmd, sizeof cmd);
    }
    return 1;
}

int OutputJbigkitCompression(const GDI_SEND_PAGE_PARAM* pSendPageParam, const JBIG_BIH* JbigBih,
                             ByteBuffer* outbuf, int platform) {
    if (pSendPageParam->sendImgBuf == nullptr || JbigBih->ParamImgWidth == 0 ||
        JbigBih->ParamImgWidth % 8 != 0 || JbigBih->ParamImgHeight == 0) {
        PrependLastError("OutputJbigkitCompression() :: image size not encodable .  \n");
        return -1;
    }
    const int start = outbuf->size;
    const uint32_t bandCount = JbigBandCount(*JbigBih, platform);
    for (uint32_t i = 0; i < bandCount; ++i) {
        // A band that is lost would print a wrong page reported as sent.
        if (!CompressImageBand(*pSendPageParam, *JbigBih, i, platform, outbuf, &gImageChecksum)) {
            char message[256];
            std::snprintf(message, sizeof message,
                          "OutputJbigkitCompression() :: JBIGCompress band %u Fail .  \n", i);
            PrependLastError(message);
            return -1;
        }
    }
    return outbuf->size - start;
}

int SendJbigPackages(const uint8_t* data, int len) {
    GDI_JOB_SPEC_M header;
    for (long offset = 0; offset < len; offset += kJbigPackageSize) {
        const int payload = static_cast<int>(std::min<long>(kJbigPackageSize, len - offset));
        SetCmdType(&header, sizeof header + payload, JBIG_DATA_CMD, 0, 0, kLongCmdSignature);
        if (!SendRecord(header, 1)) return FailStep("Prnt_SendPage() :: send JBIG_DATA_CMD Fail 0 ==  \n");
        if (!SendDataToFile(data + offset, payload, 1))
            return FailStep("Prnt_SendPage() :: Send compressed data and cmd fail.  \n");
    }
    SetCmdType(&header, sizeof header, JBIG_END_CMD, 0, 0, kLongCmdSignature);
    if (!SendRecord(header, 1)) return FailStep("Prnt_SendPage() :: send JBIG_END_CMD Fail 0 ==  \n");
    return 1;
}

int SendPageImage(GDI_SEND_PAGE_PARAM* pSendPageParam, const JBIG_BIH& bih, const ByteBuffer& image,
                  int platform) {
    switch (platform) {
        case PLATFORM_Z:
            return SendImage_Z(pSendPageParam, image);
        case PLATFORM_C:
            return SendImage_C(pSendPageParam, image);
        case PLATFORM_M:
            return SendImage_M(pSendPageParam, bih, image);
        default:
            return 0;
    }
}

int Prnt_SendPage(GDI_SEND_PAGE_PARAM* pSendPageParam, int platform) {
    // Nothing to compress for a printer that could not receive it.
    if (platform != PLATFORM_C && platform != PLATFORM_Z && platform != PLATFORM_M) return 0;
    if (!CheckPageImage(*pSendPageParam)) return 0;

    const JBIG_BIH bih = JbigParamsFor(*pSendPageParam, platform);
    const std::size_t rawBytes = std::size_t{pSendPageParam->whlImgW} / 8 * pSendPageParam->whlImgH;
    ByteBuffer image;
    if (!ReserveBytes(&image, CompressedSizeGuess(rawBytes)))
        return FailStep("Prnt_SendPage() :: malloc Fail .  \n");
    if (OutputJbigkitCompression(pSendPageParam, &bih, &image, platform) < 0)
        return FailStep("Prnt_SendPage() :: JBIG compression Fail .  \n");
    return SendPageImage(pSendPageParam, bih, image, platform);
}
