// A page's life in the walk: opened, given its image size and rows, handed to the caller.
#include <new>

#include "listing.h"
#include "walk.h"

int DotValue(const DecodedPage& page, uint32_t x, uint32_t y) {
    if (x >= page.width || y >= page.height || page.bits.empty()) return 0;
    const uint8_t* row = page.bits.data() + size_t{y} * page.stride;
    if (page.bitsPerDot == 2) return (row[x / 4] >> (6 - 2 * (x % 4))) & 3;
    return (row[x / 8] >> (7 - x % 8)) & 1;
}

void BeginPage(Walk& w, size_t offset, int pageNum, int copies) {
    w.page = OpenPage{};
    w.page.open = true;
    w.page.page.index = static_cast<int>(w.result.pages.size()) + 1;
    w.page.page.offset = offset;
    w.page.page.pageNum = pageNum;
    w.page.page.copies = copies;
}

bool DeclareImage(Walk& w, size_t offset, uint32_t bitsPerRow, uint32_t rows) {
    OpenPage& p = w.page;
    if (bitsPerRow == 0 || rows == 0) {
        Problem(w, offset, Format("page %d declares an image of %ux%u bits: no dots", p.page.index,
                                  bitsPerRow, rows));
        p.imageBad = true;
        return false;
    }
    if (bitsPerRow > 2 * kMaxPageDots || rows > kMaxPageDots) {
        Problem(w, offset, Format("page %d declares an image of %ux%u bits, above the %u-dot bound",
                                  p.page.index, bitsPerRow, rows, kMaxPageDots));
        p.imageBad = true;
        return false;
    }
    const size_t stride = (size_t{bitsPerRow} + 7) / 8;
    if (stride * rows > w.options.maxPageBytes) {
        Problem(w, offset, Format("page %d's image of %ux%u bits needs %zu bytes, above the limit of %zu",
                                  p.page.index, bitsPerRow, rows, stride * rows, w.options.maxPageBytes));
        p.imageBad = true;
        return false;
    }
    p.imageDeclared = true;
    p.imageW = bitsPerRow;
    p.imageH = rows;
    p.page.stride = static_cast<uint32_t>(stride);
    p.wantBitmap = w.options.keepBitmaps || static_cast<bool>(w.options.onPage);
    return true;
}

void PlaceRows(Walk& w, const uint8_t* rows, uint32_t firstRow, uint32_t count) {
    OpenPage& p = w.page;
    if (!p.wantBitmap || !p.imageDeclared || firstRow > p.imageH || count > p.imageH - firstRow) return;
    const size_t stride = p.page.stride;
    if (p.page.bits.empty()) {
        // The size was checked against maxPageBytes; a refusal by the system is
        // still a page we cannot show, not a reason to abort the walk.
        try {
            p.page.bits.assign(stride * p.imageH, 0);
        } catch (const std::bad_alloc&) {
            Problem(w, p.page.offset, Format("no memory for page %d's bitmap of %zu bytes", p.page.index,
                                             stride * p.imageH));
            p.wantBitmap = false;
            return;
        }
    }
    std::copy(rows, rows + stride * count, p.page.bits.begin() + static_cast<std::ptrdiff_t>(stride * firstRow));
}

void EndPage(Walk& w, size_t offset) {
    OpenPage& p = w.page;
    if (!p.haveImage)
        Problem(w, offset, Format("page %d ends without an image", p.page.index));
    else if (!p.imageDone && !p.imageBad)
        Problem(w, offset, Format("page %d ends before its image is complete", p.page.index));
    ClosePage(w);
}

void ClosePage(Walk& w) {
    OpenPage& p = w.page;
    p.page.complete = p.haveImage && p.imageDone && !p.imageBad;
    if (p.wantBitmap && p.page.bits.empty()) p.page.complete = false;
    if (p.page.complete && w.options.onPage) w.options.onPage(p.page);
    if (!w.options.keepBitmaps) std::vector<uint8_t>().swap(p.page.bits);
    w.result.pages.push_back(std::move(p.page));
    w.page = OpenPage{};
}
