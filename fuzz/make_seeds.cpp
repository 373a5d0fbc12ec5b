// Writes the job and decoder seeds of the fuzz targets (fuzz/corpus/job and
// fuzz/corpus/decoder): small jobs of every platform and printing function, and
// the printer streams the filter makes of them. The ppd and options seeds are
// plain text kept as they are. Usage: make_seeds CORPUS-DIR
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "checked_job.h"
#include "job_inputs.h"
#include "rastertoNorvex/cups_binding.h"
#include "support/raster_writer.h"

namespace {

void Save(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Blocks of black, white and two greys: rows repeat in runs, so both the
// raster and the printer's JBIG data stay small, and the screens get work.
// By default a 36 pt square: a job of a few such pages takes a millisecond,
// so the fuzzing spends its time on the job's paths, not on dots.
RasterPage Page(unsigned pointsW = 36, unsigned pointsH = 36, unsigned resX = 600) {
    RasterPage page;
    page.pageW = pointsW;
    page.pageH = pointsH;
    page.resX = resX;
    page.width = pointsW * resX / 72;
    page.height = pointsH * 600 / 72;
    page.pixel = [](unsigned x, unsigned y) -> uint8_t {
        if (y / 64 == 3 && x / 64 < 4) return x / 64 % 2 ? 96 : 200;
        return (x / 64 + y / 64) % 7 == 0 ? 0 : 255;
    };
    return page;
}

// A changed copy of a page.
template <typename Change>
RasterPage With(RasterPage page, Change change) {
    change(page);
    return page;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fputs("usage: make_seeds CORPUS-DIR\n", stderr);
        return 2;
    }
    InitCUPSDLL();
    InitCUPSIMAGEDLL();
    // The smallest papers the printers take (a postcard, an envelope, a 3 x 5
    // inch custom size) and one whole A4 page, for the paths that need them;
    // every other seed is a small custom page.
    const RasterPage postcard = Page(283, 420), envelope = Page(279, 540), card = Page(216, 360);
    const RasterPage a4 = Page(595, 842), small = Page();
    const RasterPage duplex = With(small, [](RasterPage& p) { p.duplex = true; });
    const RasterPage twoCopies = With(small, [](RasterPage& p) { p.copies = 2; });
    // PLATFORM_Z compresses 256-line bands: a blank one between inked ones.
    const RasterPage bands = With(Page(36, 100), [](RasterPage& p) {
        p.pixel = [](unsigned x, unsigned y) -> uint8_t { return (y < 200 || y > 560) && x % 7 == 0 ? 0 : 255; };
    });
    const struct {
        const char* name;
        unsigned printer, options;  // job_inputs' printer and option text
        std::vector<RasterPage> pages;
        bool decoderSeed;  // its printer stream seeds fuzz_decoder
    } seeds[] = {
        {"c-postcard", 0, 0, {postcard}, true},
        {"z-envelope-monarch", 1, 0, {envelope}, false},
        {"m-3x5-in-custom", 2, 0, {card}, true},
        {"z-a4", 1, 0, {a4}, false},
        {"c-small", 0, 0, {small}, false},
        {"z-bands-blank-and-inked", 1, 0, {bands}, true},
        {"m-small", 2, 0, {small}, false},
        {"c-duplex-3-pages", 0, 1, {duplex, duplex, duplex}, true},
        {"z-manual-duplex-3-pages", 1, 4, {small, small, small}, true},
        {"m-2bit-1200dpi", 2, 8, {small}, true},
        {"c-1200x600dpi", 0, 0, {Page(36, 36, 1200)}, true},
        {"z-collate-2-copies", 3, 3, {twoCopies, twoCopies}, false},
        {"m-a5-long-edge", 2, 10,
         {With(Page(421, 595), [](RasterPage& p) {
             p.pixel = [](unsigned x, unsigned y) -> uint8_t { return x < 300 && y < 900 ? 0 : 255; };
         })},
         true},
        {"c-negative", 0, 9, {small}, false},
        // PLATFORM_Z's bands go to the workers only after the quarter turn; negative print on them.
        {"z-negative-a5-long-edge", 1, 9, {Page(421, 595)}, false},
        // These two printers' PPDs have margins of their own: a page that leaves room inside them.
        {"c-platform-entry-custom-size", 4, 13, {Page(72, 72)}, false},
        {"m-platform-entry-manual-duplex", 5, 15, {Page(72, 72), Page(72, 72)}, true},
        {"z-truncated-page", 1, 0, {With(small, [](RasterPage& p) { p.linesWritten = 10; })}, false},
        {"z-page-then-colour-page", 1, 0,
         {small, With(small, [](RasterPage& p) {
              p.bitsPerPixel = 24;
              p.colorSpace = CUPS_CSPACE_RGB;
              p.bytesPerLine = p.width * 3;
          })},
         false},
        {"z-tumble-3-copies-rotated", 1, 2,
         {With(duplex, [](RasterPage& p) { p.tumble = true, p.copies = 3; }),
          With(duplex, [](RasterPage& p) { p.tumble = true, p.copies = 3; })},
         false},
        {"c-sides-collate", 0, 12, {twoCopies, twoCopies}, false},
        {"z-density-tonermode", 3, 6, {small}, false},
        {"m-finemode-inputslot", 2, 11, {small}, false},
    };
    const std::string corpus = argv[1];
    for (const auto& seed : seeds) {
        const int fd = MemoryFile("raster", nullptr, 0);
        if (!WriteRaster(MemoryFilePath(fd), seed.pages, CUPS_RASTER_WRITE_COMPRESSED)) std::abort();
        std::ifstream in(MemoryFilePath(fd), std::ios::binary);
        std::vector<uint8_t> input = {static_cast<uint8_t>(seed.printer), static_cast<uint8_t>(seed.options)};
        input.insert(input.end(), std::istreambuf_iterator<char>(in), {});
        Save(corpus + "/job/" + seed.name, input);
        if (!seed.decoderSeed) continue;
        CheckedJob job;
        job.ppdPath = FuzzPrinterPPD(seed.printer);
        job.platform = FuzzPrinterPlatform(seed.printer);
        job.options = FuzzOptionText(seed.options);
        job.rasterFd = fd;
        std::vector<uint8_t> stream = RunCheckedJob(job);
        // fuzz_decoder's first byte: platform told by the opening, pages handed over.
        stream.insert(stream.begin(), uint8_t{16});
        Save(corpus + "/decoder/" + seed.name, stream);
    }
    return 0;
}
