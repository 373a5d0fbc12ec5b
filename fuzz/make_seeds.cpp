// Writes the seed corpora of the fuzz targets (fuzz/corpus/<target>/): small
// jobs of every platform and printing function, the printer streams the filter
// makes of them, PPD texts and option texts. Usage: make_seeds CORPUS-DIR
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "checked_job.h"
#include "job_inputs.h"
#include "rastertoNorvex/cups_binding.h"
#include "support/ppd_fixture.h"
#include "support/raster_writer.h"

namespace {

std::string gCorpus;

void Save(const std::string& target, const std::string& name, const std::vector<uint8_t>& bytes) {
    std::ofstream(gCorpus + "/" + target + "/" + name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void Save(const std::string& target, const std::string& name, const std::string& text) {
    Save(target, name, std::vector<uint8_t>(text.begin(), text.end()));
}

// Blocks of black, white and two greys: rows repeat in runs, so both the
// raster and the printer's JBIG data stay small, and the screens get work.
uint8_t Shapes(unsigned x, unsigned y) {
    if (y / 64 == 3 && x / 64 < 4) return x / 64 % 2 ? 96 : 200;
    return (x / 64 + y / 64) % 7 == 0 ? 0 : 255;
}

RasterPage Page(unsigned pointsW, unsigned pointsH, unsigned resX = 600, unsigned resY = 600) {
    RasterPage page;
    page.pageW = pointsW;
    page.pageH = pointsH;
    page.resX = resX;
    page.resY = resY;
    page.width = pointsW * resX / 72;
    page.height = pointsH * resY / 72;
    page.pixel = Shapes;
    return page;
}
RasterPage Postcard() { return Page(283, 420); }
RasterPage Small() { return Page(100, 100); }

struct JobSeed {
    const char* name;
    unsigned printer;  // job_inputs' printer and option text
    unsigned options;
    std::vector<RasterPage> pages;
    bool decoderSeed;  // its printer stream seeds fuzz_decoder
};

std::vector<uint8_t> RasterBytes(const std::vector<RasterPage>& pages) {
    const int fd = MemoryFile("seed", nullptr, 0);
    if (!WriteRaster(MemoryFilePath(fd), pages, CUPS_RASTER_WRITE_COMPRESSED)) std::abort();
    std::ifstream in(MemoryFilePath(fd), std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::vector<JobSeed> JobSeeds() {
    RasterPage duplexSmall = Small();
    duplexSmall.duplex = true;
    RasterPage tumbleSmall = duplexSmall;
    tumbleSmall.tumble = true;
    tumbleSmall.copies = 3;
    RasterPage collated = Small();
    collated.copies = 2;
    RasterPage truncated = Postcard();
    truncated.linesWritten = 10;
    RasterPage colour = Small();
    colour.bitsPerPixel = 24;
    colour.colorSpace = CUPS_CSPACE_RGB;
    colour.bytesPerLine = colour.width * 3;
    RasterPage a5LongEdge = Page(421, 595);
    a5LongEdge.pixel = [](unsigned x, unsigned y) -> uint8_t { return x < 300 && y < 900 ? 0 : 255; };
    return {
        {"c-postcard", 0, 0, {Postcard()}, true},
        {"z-postcard", 1, 0, {Postcard()}, true},
        {"m-postcard", 2, 0, {Postcard()}, true},
        {"c-duplex-3-pages", 0, 1, {duplexSmall, duplexSmall, duplexSmall}, true},
        {"z-manual-duplex-3-pages", 1, 4, {Small(), Small(), Small()}, true},
        {"m-2bit-1200dpi", 2, 8, {Small()}, true},
        {"c-1200x600dpi", 0, 0, {Page(100, 100, 1200, 600)}, true},
        {"z-collate-2-copies", 3, 3, {collated, collated}, false},
        {"m-a5-long-edge", 2, 10, {a5LongEdge}, true},
        {"c-negative", 0, 9, {Small()}, false},
        {"c-platform-entry-custom-size", 4, 13, {Small()}, false},
        {"m-platform-entry-manual-duplex", 5, 15, {Small(), Small()}, true},
        {"z-truncated-page", 1, 0, {truncated}, false},
        {"z-page-then-colour-page", 1, 0, {Small(), colour}, false},
        {"z-tumble-3-copies-rotated", 1, 2, {tumbleSmall, tumbleSmall}, false},
        {"c-sides-collate", 0, 12, {collated, collated}, false},
        {"z-density-tonermode", 3, 6, {Small()}, false},
        {"m-finemode-inputslot", 2, 11, {Small()}, false},
    };
}

void WriteJobAndDecoderSeeds() {
    for (const JobSeed& seed : JobSeeds()) {
        std::vector<uint8_t> input = {static_cast<uint8_t>(seed.printer),
                                      static_cast<uint8_t>(seed.options)};
        const std::vector<uint8_t> raster = RasterBytes(seed.pages);
        input.insert(input.end(), raster.begin(), raster.end());
        Save("job", seed.name, input);
        if (!seed.decoderSeed) continue;
        const int fd = MemoryFile("raster", raster.data(), raster.size());
        CheckedJob job;
        job.ppdPath = FuzzPrinterPPD(seed.printer);
        job.platform = FuzzPrinterPlatform(seed.printer);
        job.options = FuzzOptionText(seed.options);
        job.rasterFd = fd;
        std::vector<uint8_t> stream = RunCheckedJob(job);
        // fuzz_decoder's first byte: platform told by the opening, pages handed over.
        stream.insert(stream.begin(), uint8_t{16});
        Save("decoder", seed.name, stream);
    }
}

void WritePPDSeeds() {
    PPDFixture z;
    z.modelName = "Norvex Kavrin Series";
    z.platform = "";
    z.supportManualDuplex = "TRUE";
    z.manualDuplexText = "Turn the printed sheets over and press OK";
    Save("ppd", "z-kavrin-manual-duplex", PPDText(z));
    PPDFixture c;
    c.modelName = "Test Norvex C Printer";
    c.platform = "PLATFORM_C";
    c.hwMargins = "12 18 12 18";
    Save("ppd", "c-platform-entry-margins", PPDText(c));
    PPDFixture m;
    m.modelName = "Norvex Lurran 3010 Series";
    m.platform = "PLATFORM_Z";  // the model list wins
    m.supportManualDuplex = "TRUE";
    Save("ppd", "m-listed-model", PPDText(m));
    PPDFixture unknown;
    unknown.modelName = std::string(1100, 'N');
    unknown.platform = "PLATFORM_M";
    unknown.manualDuplexText = std::string(1100, 'T');
    Save("ppd", "long-model-name", PPDText(unknown));
    PPDFixture none;
    none.modelName = "";
    none.platform = "";
    Save("ppd", "no-model-no-platform", PPDText(none));
}

void WriteOptionSeeds() {
    const struct {
        const char* name;
        std::vector<uint8_t> lead;  // flag defaults, density default, Duplex, Tumble words
        const char* text;
    } seeds[] = {
        {"defaults-only", {0x00, 2, 0, 0, 0, 0, 0, 0, 0, 0}, ""},
        {"ppd-true-flags", {0x55, 4, 1, 0, 0, 0, 0, 0, 0, 0}, "Density=3"},
        {"duplex-tumble", {0xAA, 5, 1, 0, 0, 0, 1, 0, 0, 0}, "Duplex=DuplexTumble Collate=True"},
        {"odd-header-words", {0xFF, 6, 7, 0, 0, 0, 9, 0, 0, 0}, "sides=two-sided-short-edge"},
        {"every-option", {0x00, 7, 0, 0, 0, 0, 0, 0, 0, 0},
         "Duplex=DuplexNoTumble Sides=two-sided-long-edge ManualDuplex=True Density=4 "
         "TonerMode=True FeedLongEdge=True outputorder=reverse DPI1200=True NegativePrint=True "
         "InputSlot=ManualFeed ImageRotation=True Collate=True FineMode=True PageSize=A5"},
        {"quoted-and-repeated", {0x10, 1, 0, 0, 0, 0, 0, 0, 0, 0},
         "Density='4' Density=-2 InputSlot=\"AutoFeed\" Collate={True} noTonerMode =Density"},
    };
    for (const auto& seed : seeds) {
        std::vector<uint8_t> input = seed.lead;
        input.insert(input.end(), seed.text, seed.text + std::char_traits<char>::length(seed.text));
        Save("options", seed.name, input);
    }
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fputs("usage: make_seeds CORPUS-DIR\n", stderr);
        return 2;
    }
    gCorpus = argv[1];
    InitCUPSDLL();
    InitCUPSIMAGEDLL();
    WriteJobAndDecoderSeeds();
    WritePPDSeeds();
    WriteOptionSeeds();
    return 0;
}
