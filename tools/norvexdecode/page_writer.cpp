// Writes a decoded page as an image file: PNG, or PBM (PGM for 2-bit pages).
#include "page_writer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <png.h>
#include <vector>

#include "listing.h"

namespace {

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

File OpenForWriting(const std::string& path, std::string* error) {
    File f(std::fopen(path.c_str(), "wb"));
    if (!f) *error = Format("cannot create %s: %s", path.c_str(), std::strerror(errno));
    return f;
}

bool Closed(File f, const std::string& path, std::string* error) {
    const bool bad = std::ferror(f.get()) != 0;
    if (std::fclose(f.release()) != 0 || bad) {
        *error = Format("cannot write %s: %s", path.c_str(), std::strerror(errno));
        return false;
    }
    return true;
}

// libpng reports failures by longjmp; nothing between setjmp and the return may
// need a destructor, so the row buffer comes from the caller.
bool WritePngRows(FILE* f, const DecodedPage& page, std::vector<uint8_t>& row) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (png == nullptr) return false;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, page.width, page.height, page.bitsPerDot, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    // Grey samples count light, dots count toner: 1 - v for 1-bit, 3 - v for
    // 2-bit, which is the bitwise complement either way.
    for (uint32_t y = 0; y < page.height; ++y) {
        const uint8_t* bits = page.bits.data() + size_t{y} * page.stride;
        for (uint32_t i = 0; i < page.stride; ++i) row[i] = static_cast<uint8_t>(~bits[i]);
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

bool HasBitmap(const DecodedPage& page, const std::string& path, std::string* error) {
    if (page.bits.size() == size_t{page.stride} * page.height && page.width > 0 && page.height > 0 &&
        page.stride >= (size_t{page.width} * page.bitsPerDot + 7) / 8)
        return true;
    *error = Format("page %d has no decoded image for %s", page.index, path.c_str());
    return false;
}

}  // namespace

std::string PageFileName(const DecodedPage& page, bool pnm) {
    const char* ext = !pnm ? "png" : page.bitsPerDot == 2 ? "pgm" : "pbm";
    return Format("page-%03d.%s", page.index, ext);
}

bool WritePagePng(const std::string& path, const DecodedPage& page, std::string* error) {
    if (!HasBitmap(page, path, error)) return false;
    File f = OpenForWriting(path, error);
    if (!f) return false;
    std::vector<uint8_t> row(page.stride);
    if (!WritePngRows(f.get(), page, row)) {
        *error = Format("cannot write %s: PNG encoding failed", path.c_str());
        return false;
    }
    return Closed(std::move(f), path, error);
}

bool WritePagePnm(const std::string& path, const DecodedPage& page, std::string* error) {
    if (!HasBitmap(page, path, error)) return false;
    File f = OpenForWriting(path, error);
    if (!f) return false;
    if (page.bitsPerDot == 1) {
        // PBM's 1 is black, like the printer's.
        std::fprintf(f.get(), "P4\n%u %u\n", page.width, page.height);
        const size_t rowBytes = (size_t{page.width} + 7) / 8;
        for (uint32_t y = 0; y < page.height; ++y)
            std::fwrite(page.bits.data() + size_t{y} * page.stride, 1, rowBytes, f.get());
    } else {
        std::fprintf(f.get(), "P5\n%u %u\n255\n", page.width, page.height);
        std::vector<uint8_t> row(page.width);
        for (uint32_t y = 0; y < page.height; ++y) {
            for (uint32_t x = 0; x < page.width; ++x)
                row[x] = static_cast<uint8_t>(255 - 85 * DotValue(page, x, y));
            std::fwrite(row.data(), 1, row.size(), f.get());
        }
    }
    return Closed(std::move(f), path, error);
}
