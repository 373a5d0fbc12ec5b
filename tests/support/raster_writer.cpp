// Writes CUPS raster files with libcups's raster writer.
#include "support/raster_writer.h"

#include <fcntl.h>
#include <unistd.h>

std::vector<uint8_t> PageLine(const RasterPage& page, unsigned y) {
    const unsigned bpl = page.bytesPerLine ? page.bytesPerLine : page.width;
    std::vector<uint8_t> line(bpl, 255);
    if (page.pixel)
        for (unsigned x = 0; x < bpl; ++x) line[x] = page.pixel(x, y);
    return line;
}

bool WriteRaster(const std::string& path, const std::vector<RasterPage>& pages, cups_mode_t mode) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return false;
    cups_raster_t* ras = cupsRasterOpen(fd, mode);
    bool ok = ras != nullptr;
    for (const RasterPage& page : pages) {
        if (!ok) break;
        cups_page_header2_t h{};
        h.cupsWidth = page.width;
        h.cupsHeight = page.height;
        h.cupsBitsPerColor = page.bitsPerColor;
        h.cupsBitsPerPixel = page.bitsPerPixel;
        h.cupsBytesPerLine = page.bytesPerLine ? page.bytesPerLine : page.width * page.bitsPerPixel / 8;
        h.cupsColorSpace = page.colorSpace;
        h.cupsColorOrder = CUPS_ORDER_CHUNKED;
        h.HWResolution[0] = page.resX;
        h.HWResolution[1] = 600;
        h.PageSize[0] = page.pageW;
        h.PageSize[1] = page.pageH;
        h.ImagingBoundingBox[2] = page.pageW;
        h.ImagingBoundingBox[3] = page.pageH;
        h.Duplex = page.duplex ? CUPS_TRUE : CUPS_FALSE;
        h.Tumble = page.tumble ? CUPS_TRUE : CUPS_FALSE;
        h.NumCopies = page.copies;
        if (page.edit) page.edit(h);
        ok = cupsRasterWriteHeader2(ras, &h) != 0;
        const unsigned lines = page.linesWritten < 0 ? page.height : static_cast<unsigned>(page.linesWritten);
        for (unsigned y = 0; ok && y < lines; ++y) {
            std::vector<uint8_t> line = PageLine(page, y);
            line.resize(h.cupsBytesPerLine, 255);
            ok = cupsRasterWritePixels(ras, line.data(), h.cupsBytesPerLine) == h.cupsBytesPerLine;
        }
    }
    if (ras) cupsRasterClose(ras);
    close(fd);
    return ok;
}
