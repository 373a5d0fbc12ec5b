// End-to-end runs of the filter checked by the decoder.
#include "support/printed_job.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include <gtest/gtest.h>

#include "prnt/halftone.h"
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

std::vector<uint8_t> ExpectedDots(const std::vector<uint8_t>& grey, unsigned w, unsigned h,
                                  int platform, int negative, int dpi1200) {
    const int bits = platform == 3 && dpi1200 == 1 ? 2 : 1;
    std::vector<uint8_t> dots(std::size_t{w} * h * bits / 8, 0);
    HalftoneDitherPerPixel(grey.data(), w, h, dots.data(), w, negative, dpi1200, platform);
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
