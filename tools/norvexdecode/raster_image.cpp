// Page images of PLATFORM_C and PLATFORM_Z: the raster image command, the data
// or bands behind it, and the image checksum.
#include "raster_image.h"

#include <algorithm>

#include "common/byte_order.h"
#include "listing.h"
#include "stream_bytes.h"

namespace {

// Decodes one whole image entity lying at [start, start + len) of the stream.
// Returns the decoded image, or nullptr with the problem reported.
std::unique_ptr<JbigImage> DecodeEntity(Walk& w, size_t start, size_t len, uint32_t width, uint32_t height) {
    auto image = std::make_unique<JbigImage>(width, height);
    const size_t used = FeedJbig(*image, w.data + start, len);
    if (image->state == JbigState::Failed) {
        Problem(w, start + image->failAt, image->failure);
        return nullptr;
    }
    if (image->state == JbigState::NeedMore) {
        Problem(w, start, Format("the %zu bytes of image data end before the JBIG image is complete", len));
        return nullptr;
    }
    if (used < len) Problem(w, start + used, Format("%zu bytes follow the end of the JBIG image", len - used));
    if (jbg_dec_getwidth(&image->decoder) != width || jbg_dec_getheight(&image->decoder) != height) {
        Problem(w, start, Format("JBIG image decodes to %lux%lu, %ux%u declared", jbg_dec_getwidth(&image->decoder),
                                 jbg_dec_getheight(&image->decoder), width, height));
        return nullptr;
    }
    return image;
}

std::string DataFields(const Walk& w, size_t start, size_t len) {
    std::string fields = Format("%zu bytes", len);
    if (len >= kJbigHeaderSize) fields += ", " + DescribeJbigHeader(ReadJbigHeader(w.data + start));
    return fields;
}

// PLATFORM_C: the data runs from the command up to the UEL of the page end, and
// the command's length must say exactly that much.
void ImageDataC(Walk& w, size_t at, uint32_t declared, bool decode) {
    OpenPage& p = w.page;
    const size_t start = w.pos;
    const uint8_t* end = w.data + w.size;
    const uint8_t* uel = std::search(w.data + start, end, kUelC, kUelC + kUelSize);
    if (declared > kMaxCompressedBytes)
        Problem(w, at, Format("compressed length 0x%08X is negative in its signed 32-bit field", declared));
    if (uel == end) {
        if (declared > Remaining(w))
            Stop(w, at, Format("raster image command declares %u compressed bytes but only %zu remain in the stream",
                               declared, Remaining(w)));
        else
            Stop(w, start + declared, Format("no UEL_CMD_C after the %u bytes of image data", declared));
        return;
    }
    const size_t len = static_cast<size_t>(uel - (w.data + start));
    List(w, start, "IMAGE_DATA", DataFields(w, start, len));
    if (declared != len)
        Problem(w, at, Format("raster image command declares %u compressed bytes, but the data runs %zu bytes "
                              "up to UEL_CMD_C",
                              declared, len));
    // The printer adds the UEL that follows the data into the sum it checks.
    uint8_t sum = kUelCByteSum;
    for (size_t i = 0; i < len; ++i) sum = static_cast<uint8_t>(sum + w.data[start + i]);
    p.imageChecksum = sum;
    p.checksumDue = true;
    w.pos = start + len;
    if (!decode) return;
    auto image = DecodeEntity(w, start, len, p.imageW, p.imageH);
    if (!image) {
        p.imageBad = true;
        return;
    }
    if (image->header.l0 != p.stripeHeight)
        Problem(w, start, Format("JBIG stripe height L0=%u differs from the raster image command's %u",
                                      image->header.l0, p.stripeHeight));
    PlaceRows(w, JbigBitmap(*image), 0, p.imageH);
    p.imageDone = true;
}

}  // namespace

void RasterImageCommand(Walk& w, size_t at, const uint8_t* cmd) {
    OpenPage& p = w.page;
    const uint32_t width = GetLE16(cmd + 5), height = GetLE16(cmd + 7);
    const uint32_t declared = GetLE32(cmd + 13);
    bool decode = false;
    if (p.open && p.haveImage) {
        Problem(w, at, Format("second raster image command in page %d", p.page.index));
        p.imageBad = true;
    } else if (p.open) {
        p.haveImage = true;
        p.page.width = width;
        p.page.height = height;
        p.page.bitsPerDot = 1;
        decode = DeclareImage(w, at, width, height);
    }
    if (w.result.platform == PLATFORM_C) {
        p.stripeHeight = GetLE16(cmd + 11);
        ImageDataC(w, at, declared, decode);
        return;
    }
    if (declared != 0)
        Problem(w, at, Format("raster image command declares %u compressed bytes; on platform Z the bands "
                              "carry the data and it is 0",
                              declared));
    p.bandsEndAt = w.pos;
}

void JbigBandCommand(Walk& w, size_t at, const uint8_t* cmd) {
    OpenPage& p = w.page;
    const uint32_t xd = GetLE32(cmd + 7), l0 = GetLE32(cmd + 11), yd = GetLE32(cmd + 15);
    const uint32_t size = GetLE32(cmd + 23), padded = GetLE32(cmd + 27);
    const uint32_t horz = GetLE32(cmd + 31), vert = GetLE32(cmd + 35);
    const uint32_t plane = GetLE32(cmd + 39), slice = GetLE32(cmd + 43);
    const size_t start = w.pos;
    if (size > Remaining(w)) {
        Stop(w, at, Format("band declares %u compressed bytes but only %zu remain in the stream", size,
                           Remaining(w)));
        return;
    }
    List(w, start, "BAND_DATA", DataFields(w, start, size));
    w.pos = start + size;

    bool fits = p.open && p.haveImage && p.imageDeclared && !p.imageBad;
    if (p.open && !p.haveImage) {
        Problem(w, at, "band before the page's raster image command");
        fits = false;
    } else if (p.open && at != p.bandsEndAt) {
        Problem(w, at, "band does not follow the raster image command or the previous band directly");
    }
    const uint32_t index = p.bands++;
    p.bandsEndAt = w.pos;
    if (cmd[3] != 0 || cmd[4] != 0 || cmd[5] != 1 || cmd[6] != 0)
        Problem(w, at, Format("band header DL=%u D=%u P=%u reserved=%u; 0, 0, 1, 0 expected", cmd[3], cmd[4],
                                  cmd[5], cmd[6]));
    if (padded != size) Problem(w, at, Format("band's padded size %u differs from its size %u", padded, size));
    if (horz != 0 || plane != 3 || slice != 0)
        Problem(w, at, Format("band position horz=%u plane=%u slice=%u; 0, 3, 0 expected", horz, plane, slice));
    if (!fits) return;

    const uint64_t firstRow = uint64_t{index} * kBandHeight;
    if (firstRow >= p.imageH) {
        Problem(w, at, Format("band %u starts below the page's %u rows", index, p.imageH));
        p.imageBad = true;
        return;
    }
    const uint32_t rows = std::min<uint32_t>(kBandHeight, p.imageH - static_cast<uint32_t>(firstRow));
    bool good = true;
    if (vert != firstRow) {
        Problem(w, at, Format("band %u has posVert %u; %llu expected", index, vert,
                                   static_cast<unsigned long long>(firstRow)));
        good = false;
    }
    if (yd != rows || l0 != rows) {
        Problem(w, at, Format("band %u has L0=%u YD=%u; its height is %u", index, l0, yd, rows));
        good = false;
    }
    if (xd != p.imageW) {
        Problem(w, at, Format("band %u has XD=%u; the page is %u dots wide", index, xd, p.imageW));
        good = false;
    }
    if (!good) {
        p.imageBad = true;
        return;
    }
    auto image = DecodeEntity(w, start, size, xd, rows);
    if (!image) {
        p.imageBad = true;
        return;
    }
    const JbigHeader& h = image->header;
    if (h.l0 != l0 || h.mx != cmd[19] || h.my != cmd[20] || h.order != cmd[21] || h.options != cmd[22])
        Problem(w, start, Format("T.82 header L0=%u MX=%u MY=%u order=0x%02X options=0x%02X differs from the "
                                 "band command's copy",
                                 h.l0, h.mx, h.my, h.order, h.options));
    PlaceRows(w, JbigBitmap(*image), static_cast<uint32_t>(firstRow), rows);
    p.rowsCovered = static_cast<uint32_t>(firstRow) + rows;
}

void ImageChecksumCommand(Walk& w, size_t at, const uint8_t* cmd) {
    OpenPage& p = w.page;
    if (!p.open) return;
    if (!p.checksumDue)
        Problem(w, at, "image checksum command before the page's image data");
    else if (p.checksumSeen)
        Problem(w, at, "second image checksum command in the page");
    else if (cmd[3] != p.imageChecksum || cmd[4] != 0)
        Problem(w, at, Format("image checksum 0x%02X%02X, computed 0x00%02X (sum of the data and UEL_CMD_C)",
                              cmd[4], cmd[3], p.imageChecksum));
    p.checksumSeen = true;
}

void FinishRasterPage(Walk& w, size_t at) {
    OpenPage& p = w.page;
    if (w.result.platform == PLATFORM_Z && p.haveImage && p.imageDeclared && !p.imageBad) {
        if (p.rowsCovered != p.imageH) {
            Problem(w, p.bandsEndAt, Format("bands cover %u of the page's %u rows", p.rowsCovered, p.imageH));
            p.imageBad = true;
        } else {
            p.imageDone = true;
        }
    }
    if (w.result.platform == PLATFORM_C && p.checksumDue && !p.checksumSeen)
        Problem(w, at, Format("page %d ends without its image checksum command", p.page.index));
    EndPage(w, at);
}
