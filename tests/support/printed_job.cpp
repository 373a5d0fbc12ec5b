// End-to-end runs of the filter checked by the decoder.
#include "support/printed_job.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include <gtest/gtest.h>

#include "support/stream_builder.h"

FilterInvocation Job(const TempDir& dir, const PPDFixture& ppd, const std::vector<RasterPage>& pages,
                     const std::string& options) {
    FilterInvocation inv;
    inv.ppd = WritePPD(dir.File("printer.ppd"), ppd);
    inv.args[4] = options;
    inv.stdinPath = dir.File("job.ras");
    if (!WriteRaster(inv.stdinPath, pages)) ADD_FAILURE() << "libcups refused the raster";
    return inv;
}

std::vector<int> PrintedJob::PageOrder() const {
    std::vector<int> order;
    for (const DecodedPage& page : decoded.pages) order.push_back(page.pageNum);
    return order;
}

std::vector<std::string> PrintedJob::Commands(const std::string& name) const {
    std::vector<std::string> lines;
    std::istringstream in(listing);
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string offset, command;
        fields >> offset >> command;
        if (command == name) lines.push_back(line);
    }
    return lines;
}

std::string Listing(const std::vector<uint8_t>& stream, DecodeResult* decoded, DecodeOptions options) {
    char* text = nullptr;
    std::size_t size = 0;
    options.listing = open_memstream(&text, &size);
    DecodeResult result = DecodeStream(stream.data(), stream.size(), options);
    std::fclose(options.listing);
    std::string listing(text, size);
    std::free(text);
    if (decoded) *decoded = std::move(result);
    return listing;
}

bool PrintedJob::Lists(const std::string& name, const std::string& fields) const {
    for (const std::string& line : Commands(name))
        if (line.find(fields) != std::string::npos) return true;
    return false;
}

PrintedJob PrintJob(const FilterInvocation& invocation) {
    PrintedJob job;
    job.run = RunFilter(invocation);
    const DecoderRun check = RunDecoder({"--check", "--quiet"}, job.run.out);
    job.checked = check.status == 0;
    job.checkOutput = check.out + check.err;
    job.listing = Listing(job.run.out, &job.decoded);
    return job;
}

namespace {

// The printer's 600 dpi screen as its data sheet prints it: rows 0 to 7; rows 8
// to 15 are rows 0 to 7 with their halves exchanged.
constexpr uint8_t kScreen600[8][16] = {
    {6, 82, 233, 254, 251, 226, 70, 5, 7, 85, 235, 255, 252, 228, 73, 5},
    {55, 121, 165, 218, 211, 152, 114, 49, 57, 122, 167, 220, 213, 156, 115, 47},
    {199, 134, 105, 41, 27, 95, 126, 192, 202, 136, 107, 45, 31, 97, 123, 190},
    {243, 180, 18, 3, 1, 13, 172, 238, 244, 182, 19, 3, 1, 12, 170, 237},
    {248, 222, 65, 4, 10, 79, 232, 253, 250, 224, 67, 4, 9, 76, 230, 252},
    {208, 145, 109, 53, 62, 119, 162, 216, 210, 149, 112, 51, 59, 117, 159, 215},
    {22, 88, 131, 197, 206, 142, 102, 38, 24, 91, 128, 195, 204, 139, 100, 34},
    {2, 16, 177, 241, 247, 187, 21, 2, 1, 15, 175, 240, 245, 185, 20, 2},
};

unsigned Threshold(unsigned row, unsigned column) {
    row %= 16;
    column %= 16;
    if (row >= 8) column = (column + 8) % 16;
    return kScreen600[row % 8][column];
}

// The 2-bit dot of a tone code: 0, then 1 up to 23, 2 up to 63, 3 above.
unsigned TwoBitDot(int code) { return code == 0 ? 0 : code <= 23 ? 1 : code <= 63 ? 2 : 3; }

}  // namespace

// Ordered dither against the 600 dpi screen, tiled from the top left corner,
// written out from the printer's halftone rule one dot at a time: a dot where
// the grey is below the threshold; 2 bits on PLATFORM_M at 1200 dpi from the
// tone code 255 - grey - threshold (255 for black); negative print inverts
// every dot.
std::vector<uint8_t> ExpectedDots(const std::vector<uint8_t>& grey, unsigned w, unsigned h,
                                  int platform, int negative, int dpi1200) {
    const bool twoBit = platform == 3 && dpi1200 == 1;
    if (dpi1200 != 0 && !twoBit) ADD_FAILURE() << "no reference for the 1200 dpi screens";
    if (w % 16 != 0) ADD_FAILURE() << "the reference tiles whole 16-dot cells";
    const unsigned bits = twoBit ? 2 : 1;
    std::vector<uint8_t> dots(std::size_t{w} * h * bits / 8, 0);
    for (unsigned y = 0; y < h; ++y) {
        for (unsigned x = 0; x < w; ++x) {
            const int v = grey[std::size_t{y} * w + x];
            const int t = static_cast<int>(Threshold(y, x));
            unsigned dot;
            if (twoBit) {
                const int code = v == 0 ? 255 : std::max(0, 255 - v - t);
                dot = TwoBitDot(code);
                if (negative) dot = 3 - dot;
            } else {
                dot = v < t ? 1 : 0;
                if (negative) dot ^= 1;
            }
            const std::size_t bit = (std::size_t{y} * w + x) * bits;
            dots[bit / 8] |= static_cast<uint8_t>(dot << (8 - bits - bit % 8));
        }
    }
    return dots;
}

std::vector<uint8_t> ExpectedGrey(const RasterPage& page, unsigned w, unsigned h) {
    std::vector<uint8_t> grey(std::size_t{w} * h, 0xFF);
    const unsigned lines = page.linesWritten < 0 ? page.height : page.linesWritten;
    for (unsigned y = 0; y < h && y < lines; ++y) {
        const std::vector<uint8_t> line = PageLine(page, y);
        if (line.size() > w) {
            const std::size_t start = (line.size() - w) / 2;
            std::copy(line.begin() + start, line.begin() + start + w, grey.begin() + std::size_t{y} * w);
        } else {
            std::copy(line.begin(), line.end(), grey.begin() + std::size_t{y} * w);
        }
    }
    return grey;
}

std::vector<uint8_t> PageBits(const DecodedPage& page) {
    const std::size_t row = std::size_t{page.width} * page.bitsPerDot / 8;
    std::vector<uint8_t> bits;
    bits.reserve(row * page.height);
    for (uint32_t y = 0; y < page.height; ++y) {
        const auto start = page.bits.begin() + std::size_t{y} * page.stride;
        bits.insert(bits.end(), start, start + row);
    }
    return bits;
}
