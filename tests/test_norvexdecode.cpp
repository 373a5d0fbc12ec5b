// norvexdecode on what the filter writes, made faulty: faults and truncations
// are reported at their command; the command line's exit codes and page files.
#include <fstream>
#include <gtest/gtest.h>
#include <png.h>

#include "support/job.h"

namespace {

using Bytes = std::vector<uint8_t>;

class Decoder : public ::testing::Test {
protected:
    // The stream of a small job (pages of 300 x 300 dots) and its listing.
    JobRun Stream(const char* platform, int pages, const std::string& options = "", bool noise = false) {
        PPDFixture ppd;
        ppd.platform = platform;
        RasterPage page;
        page.pageW = page.pageH = 36;
        page.width = page.height = 300;
        page.pixel = [noise](unsigned x, unsigned y) {
            return static_cast<uint8_t>(noise ? (x * 7919u + y * 104729u) >> 3 : (x / 3 + y) & 0xFF);
        };
        Job job = PrinterJob(dir, ppd, std::vector<RasterPage>(pages, page), options);
        job.inProcess = true;
        return Print(job);
    }
    // Offset of the n-th command `name` of the listing.
    static std::size_t At(const JobRun& run, const char* name, std::size_t n = 0) {
        const auto lines = run.Commands(name);
        EXPECT_GT(lines.size(), n) << name;
        return lines.size() > n ? std::stoul(lines[n]) : 0;
    }
    TempDir dir;
};

// The short command at `at` made whole again: the checksum that sums it to 0.
void Resum(Bytes& s, std::size_t at) {
    uint8_t sum = 0;
    for (std::size_t i = at; i + 1 < at + s[at + 1]; ++i) sum = static_cast<uint8_t>(sum + s[i]);
    s[at + s[at + 1] - 1] = static_cast<uint8_t>(-sum);
}

std::string Errors(const DecodeResult& r) {
    std::string out;
    for (const auto& e : r.errors) out += std::to_string(e.offset) + ": " + e.message + "\n";
    return out;
}

TEST_F(Decoder, FaultsAreReportedAtTheirCommand) {
    JobRun checksum = Stream("PLATFORM_Z", 2), band = Stream("PLATFORM_Z", 1, "", true);
    JobRun length = Stream("PLATFORM_C", 1), package = Stream("PLATFORM_M", 1);
    JobRun huge = Stream("PLATFORM_Z", 1);
    checksum.out[At(checksum, "PAGE_SPEC", 1) + 17] ^= 0x01;
    band.out.resize(At(band, "JBIG_BAND", 1) + 48 + 10);
    const std::size_t raster = At(length, "RASTER_IMAGE");
    ++length.out[raster + 13];  // one compressed byte more than there are (the count's low byte)
    Resum(length.out, raster);
    for (int i = 0; i < 4; ++i) package.out[At(package, "JBIG_DATA_CMD") + i] = i < 3 ? 0xFF : 0xF0;
    for (int i = 5; i < 9; ++i) huge.out[At(huge, "RASTER_IMAGE") + i] = 0xFF;  // 65535 x 65535 dots
    Resum(huge.out, At(huge, "RASTER_IMAGE"));
    const struct {
        const char* name;
        const JobRun& run;
        std::size_t at;    // the command blamed
        const char* text;  // part of the first message
        bool alone;        // the only error, and every page still decodes
    } faults[] = {
        {"corrupted checksum", checksum, At(checksum, "PAGE_SPEC", 1), "checksum", true},
        {"truncated band", band, At(band, "JBIG_BAND", 1), "remain", false},
        {"wrong compressed length", length, raster, "compressed bytes", true},
        {"package beyond the stream", package, At(package, "JBIG_DATA_CMD"), "", false},
        {"page too large to allocate", huge, At(huge, "RASTER_IMAGE"), "", false},
    };
    DecodeOptions options;
    options.maxPageBytes = 1 << 20;  // a 65535 x 65535 page needs 512 MiB
    for (const auto& f : faults) {
        SCOPED_TRACE(f.name);
        const DecodeResult r = DecodeStream(f.run.out.data(), f.run.out.size(), options);
        ASSERT_FALSE(r.ok());
        EXPECT_EQ(r.errors[0].offset, f.at) << Errors(r);
        EXPECT_NE(r.errors[0].message.find(f.text), std::string::npos) << Errors(r);
        if (!f.alone) continue;
        EXPECT_EQ(r.errors.size(), 1u) << Errors(r);
        ASSERT_EQ(r.pages.size(), f.run.decoded.pages.size());  // the walk goes on
        for (const DecodedPage& page : r.pages) EXPECT_TRUE(page.complete);
    }
}

// Every proper prefix of a well-formed stream is malformed, and none crashes it.
TEST_F(Decoder, EveryTruncationIsReported) {
    for (const char* platform : {"PLATFORM_C", "PLATFORM_Z", "PLATFORM_M"}) {
        const Bytes whole = Stream(platform, 1).out;
        for (std::size_t n = 0; n < whole.size(); ++n) {
            const DecodeResult r = DecodeStream(whole.data(), n, DecodeOptions());
            ASSERT_FALSE(r.ok()) << platform << ": prefix of " << n << " bytes";
            for (const auto& e : r.errors) ASSERT_LE(e.offset, n);
        }
    }
}

// The fields of the raster image command of an A4 page (its byte image from the
// command reference) and of PLATFORM_M's JBIG parameters.
TEST(DecoderListing, ShowsTheFieldsOfTheByteImages) {
    const std::string c = Listing({0x1B, 0xFF, 0x2D, 0x31, 0x32, 0x33, 0x34, 0x35, 0x58, 0x0B, 0x12, 0x0C,
                                   0x00, 0x20, 0x60, 0x13, 0x68, 0x1B, 0x60, 0x13, 0x00, 0x03, 0x40, 0xE2,
                                   0x01, 0x00, 0x28});
    EXPECT_NE(c.find("whole=4960x7016 raster=4960x768 compressed=123456"), std::string::npos) << c;
    const std::string m = Listing({0x1B, 0x25, 0x2D, 0x31, 0x32, 0x33, 0x34, 0x35, 0x58, 'J',  'Z',  'J',  'Z',
                                   0,    0,    0,    0x24, 0,    0,    0,    4,    0,    0,    0,    0,    0,
                                   0,    0x5A, 0x5A, 0,    0,    1,    0,    0,    0,    0x13, 0x60, 0,    0,
                                   0x1B, 0x68, 0,    0,    1,    0,    0,    0,    3,    0x5C});
    EXPECT_NE(m.find("XD=4960 YD=7016 L0=256 MX=0 MY=0 order=0x03 options=0x5C"), std::string::npos) << m;
}

// From a file or standard input, each page to a file (PBM, PGM of four greys
// for 2-bit dots, PNG); a malformed stream exits 1 with one message at its
// offset, and the listing marks the command.
TEST_F(Decoder, CommandLineChecksAndWritesPages) {
    JobRun z = Stream("PLATFORM_Z", 1), m = Stream("PLATFORM_M", 1, "DPI1200"), bad = Stream("PLATFORM_Z", 1);
    bad.out[At(bad, "PAGE_SPEC") + 17] ^= 0x01;
    std::ofstream(dir.File("job.prn"), std::ios::binary).write(reinterpret_cast<const char*>(z.out.data()),
                                                               static_cast<std::streamsize>(z.out.size()));
    const DecodedPage &zPage = z.decoded.pages.at(0), &mPage = m.decoded.pages.at(0);
    std::string pgm = "P5\n" + std::to_string(mPage.width) + " " + std::to_string(mPage.height) + "\n255\n";
    for (uint32_t y = 0; y < mPage.height; ++y)
        for (uint32_t x = 0; x < mPage.width; ++x) pgm += static_cast<char>(255 - 85 * DotValue(mPage, x, y));
    const Bytes zBits = PageBits(zPage);
    const std::string size = std::to_string(zPage.width) + "x" + std::to_string(zPage.height);
    const struct {
        const char* what;
        std::vector<std::string> args;
        const Bytes& input;
        int status;
        std::string out, err;  // out: part of standard output; err: its start
        const char* file;
        std::string page;  // the file's contents
    } cases[] = {
        {"file to PBM", {"--check", "--quiet", "--pbm", "--pages", dir.path(), dir.File("job.prn")}, {}, 0,
         "summary: platform=Z pages=1 [page=1 copies=1 size=" + size + " depth=1] status=ok\n", "",
         "page-001.pbm",
         "P4\n" + std::to_string(zPage.width) + " " + std::to_string(zPage.height) + "\n" +
             std::string(zBits.begin(), zBits.end())},
        {"2-bit to PGM", {"--quiet", "--pbm", "--pages", dir.path()}, m.out, 0, "", "", "page-001.pgm", pgm},
        {"standard input to PNG", {"--quiet", "--pages", dir.path()}, z.out, 0, "", "", nullptr, ""},
        {"platform forced on another's stream", {"--check", "--platform", "C"}, z.out, 1, "status=malformed",
         "norvexdecode: offset 0: ", nullptr, ""},
        {"malformed", {"--check"}, bad.out, 1, "!! PAGE_SPEC",
         "norvexdecode: offset " + std::to_string(At(bad, "PAGE_SPEC")) + ": PAGE_SPEC", nullptr, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const JobRun run = RunDecoder(c.args, c.input);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_NE(std::string(run.out.begin(), run.out.end()).find(c.out), std::string::npos);
        EXPECT_EQ(run.err.rfind(c.err, 0), 0u) << run.err;
        EXPECT_EQ(run.errLines.size(), c.err.empty() ? 0u : 1u) << run.err;
        if (c.file) {
            std::ifstream in(dir.File(c.file), std::ios::binary);
            EXPECT_TRUE(std::string(std::istreambuf_iterator<char>(in), {}) == c.page) << c.file;
        }
    }
    png_image png{};  // the PNG reads back black where there is toner
    png.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&png, dir.File("page-001.png").c_str()));
    png.format = PNG_FORMAT_GRAY;
    Bytes grey(PNG_IMAGE_SIZE(png)), bits((grey.size() + 7) / 8);
    ASSERT_TRUE(png_image_finish_read(&png, nullptr, grey.data(), 0, nullptr));
    for (std::size_t i = 0; i < grey.size(); ++i) bits[i / 8] |= static_cast<uint8_t>((grey[i] == 0) << (7 - i % 8));
    EXPECT_EQ(bits, zBits);
}

}  // namespace
