// norvexdecode: hand-built streams of each platform decode to the dots they were
// encoded from; faults are reported at their offset; garbage never crashes it.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <png.h>
#include <random>
#include <sstream>

#include "norvexdecode.h"
#include "page_writer.h"
#include "support/filter_runner.h"
#include "support/stream_builder.h"

namespace {

const ByteVec kZero = {0x00, 0x00};
const ByteVec kUelC = {0x1B, 0xFF, 0x2D, 0x31, 0x32, 0x33, 0x34, 0x35, 0x58};
const ByteVec kUel = {0x1B, 0x25, 0x2D, 0x31, 0x32, 0x33, 0x34, 0x35, 0x58};
const ByteVec kFormFeed = {0x0B, 0x04, 0x18, 0xD9};
const ByteVec kReset = {0x0B, 0x04, 0x17, 0xDA};
const std::string kPjlHeader = "\x1B%-12345X@PJL\r\n";
const std::string kEndOfJob = "\x1B%-12345X@PJL\r\n@PJL EOJ\r\n\x1B%-12345X\r\n";

struct TestPage {
    uint32_t width;   // dots
    uint32_t height;
    int pageNum;
    int copies;
    int depth;        // bits per dot (2 only on PLATFORM_M)
    ByteVec bits;     // rows of width x depth bits
};

TestPage Page(uint32_t width, uint32_t height, int pageNum, uint32_t seed, int depth = 1) {
    return {width, height, pageNum, pageNum + 1, depth, RandomBitmap(width * depth, height, seed, 20)};
}

// A stream and the offsets of the items the tests point at.
struct Built {
    ByteVec bytes;
    std::map<std::string, size_t> at;
    void Mark(const std::string& name) { at[name] = bytes.size(); }
    void Add(const ByteVec& b) { Append(bytes, b); }
    void Text(const std::string& t) { AppendText(bytes, t); }
};

ByteVec PageSpec(const TestPage& p) {
    return ShortCmd(0x12, Cat({{9, 0, 60, 60, 1, 0}, Le16(p.copies), Le16(0), Le16(0), Le16(p.pageNum)}));
}

// Z: 256-line bands, each behind its 48-byte band command.
Built StreamZ(const std::vector<TestPage>& pages, int fillers = 0) {
    Built s;
    s.Text(kPjlHeader + "@PJL JOBTIME=05:14:03:12:2026\r\n@PJL JOBOWNER=printhost\r\n@PJL ENTER LANGUAGE=PL\r\n");
    s.Add(kZero);
    s.Add({0x0B, 0x05, 0x1F, 0x01, 0xD0});  // fine mode
    s.Add(kZero);
    s.Mark("jobspec");
    s.Add({0x0B, 0x09, 0x11, 0x30, 0x01, 0x02, 0x00, 0x00, 0xA8});
    s.Add(kZero);
    s.Add({0x0B, 0x05, 0x15, 0x03, 0xD8});
    for (size_t n = 0; n < pages.size(); ++n) {
        const TestPage& p = pages[n];
        const std::string page = "page" + std::to_string(n + 1);
        s.Add(kZero);
        s.Mark(page + ".spec");
        s.Add(PageSpec(p));
        s.Add(kZero);
        s.Add({0x0B, 0x0C, 0x13, 0, 0, 0, 0, 0, 0, 0, 0, 0xD6});
        s.Add(kZero);
        for (int i = 0; i < fillers; ++i) s.Add(kZero);  // keep-alive while the page is prepared
        s.Add({0x0B, 0x07, 0x19, 0x04, 0x00, 0x01, 0xD0});
        s.Add(kZero);
        s.Mark(page + ".raster");
        s.Add(ShortCmd(0x0C, Cat({{0, 0x20}, Le16(p.width), Le16(p.height), Le16(0), Le16(0), Le32(0)})));
        const size_t rowBytes = p.width / 8;
        for (uint32_t i = 0, row = 0; row < p.height; ++i, row += 256) {
            const uint32_t h = std::min<uint32_t>(256, p.height - row);
            const ByteVec band(p.bits.begin() + row * rowBytes, p.bits.begin() + (row + h) * rowBytes);
            const ByteVec data = JbigEncode(band, p.width, h, 3, 0x58, h, 0);
            s.Mark(page + ".band" + std::to_string(i));
            s.Add(ShortCmd(0x1A, Cat({{0, 0, 1, 0}, Le32(p.width), Le32(h), Le32(h), {0, 0, 3, 0x58},
                                      Le32(data.size()), Le32(data.size()), Le32(0), Le32(row), Le32(3), Le32(0)})));
            s.Mark(page + ".band" + std::to_string(i) + ".data");
            s.Add(data);
        }
        s.Add(kZero);
        s.Mark(page + ".formfeed");
        s.Add(kFormFeed);
    }
    s.Mark("reset");
    s.Add(kReset);
    s.Text(kEndOfJob);
    return s;
}

// C: the opening of a job with number 7, flags 0x30, toner save 1, density 3,
// dated 3 December 2026; one JBIG stream per page up to the page end's UEL.
Built StreamC(const std::vector<TestPage>& pages) {
    Built s;
    s.Add(kUelC);
    s.Add({0x0B, 0x04, 0x16, 0xDB});
    s.Text(kEndOfJob + "versions=3.1.2.1");
    s.Add(kZero);
    s.Text(kPjlHeader + "@PJL ENTER LANGUAGE=PL\r\n");
    s.Add(kZero);
    s.Add({0x0B, 0x06, 0x11, 0x07, 0x30, 0xA7});
    s.Add(kZero);
    s.Add({0x0B, 0x05, 0x19, 0x01, 0xD6});
    s.Add(kZero);
    s.Add({0x0B, 0x05, 0x15, 0x03, 0xD8});
    s.Add({0x0B, 0x08, 0x1F, 0xEA, 0x07, 0x0C, 0x03, 0xCE});
    for (size_t n = 0; n < pages.size(); ++n) {
        const TestPage& p = pages[n];
        const std::string page = "page" + std::to_string(n + 1);
        s.Add(kZero);
        s.Mark(page + ".spec");
        s.Add(PageSpec(p));
        s.Add(kZero);
        s.Add({0x0B, 0x0C, 0x13, 0, 0, 0, 0, 0, 0, 0, 0, 0xD6});
        s.Add(kZero);
        s.Add({0x0B, 0x04, 0x32, 0xBF});  // host use
        s.Add(kZero);
        const ByteVec data = JbigEncode(p.bits, p.width, p.height, 0, 0x08, 768, 8);
        s.Mark(page + ".raster");
        s.Add(ShortCmd(0x0C, Cat({{0, 0x20}, Le16(p.width), Le16(p.height), Le16(p.width), Le16(768),
                                  Le32(data.size())})));
        s.Mark(page + ".data");
        s.Add(data);
        s.Add(kUelC);
        s.Add(kZero);
        uint32_t sum = 0;
        for (uint8_t b : data) sum += b;
        for (uint8_t b : kUelC) sum += b;
        s.Mark(page + ".checksum");
        s.Add(ShortCmd(0x1A, {static_cast<uint8_t>(sum), 0}));
        s.Add(kZero);
        s.Add({0x0B, 0x06, 0x1E, 0xE8, 0x03, 0xE6});  // coverage 1000
        s.Add(kZero);
        s.Add(kFormFeed);
    }
    s.Add(kZero);
    s.Add({0x0B, 0x05, 0x31, 0x80, 0x3F});
    s.Add(kZero);
    s.Mark("reset");
    s.Add(kReset);
    s.Text(kEndOfJob);
    return s;
}

// M: long commands; the image in packages of at most 64 KiB.
Built StreamM(const std::vector<TestPage>& pages) {
    static const uint16_t kToner[36] = {0,   81,  115, 110, 150, 122, 100, 150, 200, 100, 81,  100,
                                        100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100,
                                        120, 135, 150, 180, 200, 120, 150, 190, 350, 400, 100, 100};
    Built s;
    s.Add(kUel);
    s.Text("JZJZ");
    s.Add(LongHeader(88, 17));
    for (uint16_t v : kToner) s.Add(Be16(v));
    s.Add({0, 0, 0, 0x34, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0x24, 0x5A, 0x5A, 0, 0, 0, 0x0C, 0, 0, 1, 0, 0, 0, 0, 0,
           0, 0, 0, 0x0C, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0x0C, 0, 2, 1, 0, 0, 0, 0, 1});
    for (size_t n = 0; n < pages.size(); ++n) {
        const TestPage& p = pages[n];
        const std::string page = "page" + std::to_string(n + 1);
        const uint32_t imgW = p.width * p.depth;
        s.Mark(page + ".start");
        s.Add({0, 0, 0, 0xB8, 0, 0, 0, 2, 0, 0, 0, 0x0E, 0, 0xA8, 0x5A, 0x5A});
        s.Add(LongParam(0x0003, 9));
        for (auto [code, value] : std::vector<std::pair<uint16_t, uint32_t>>{
                 {0x0004, p.copies}, {0x0005, 1}, {0x0006, 0}, {0x0007, 1}, {0x0008, 600}, {0x0009, 600},
                 {0x0016, 0}, {0x000C, imgW}, {0x000D, p.height}, {0x0010, p.depth}, {0x0011, p.width},
                 {0x0012, p.height}})
            s.Add(LongParam(code, value));
        s.Add({0, 0, 0, 0x0C, 0xFF, 0, 1, 0, 0, 0, 0, 3});  // DENSITY_PARAM 3
        s.Mark(page + ".param");
        s.Add(Cat({LongHeader(36, 4), {0, 0, 1, 0}, Be32(imgW), Be32(p.height), Be32(256), {0, 0, 3, 0x5C}}));
        const ByteVec data = JbigEncode(p.bits, imgW, p.height, 3, 0x5C, 256, 0);
        for (size_t off = 0, i = 0; off < data.size(); off += 65536, ++i) {
            const size_t len = std::min<size_t>(65536, data.size() - off);
            s.Mark(page + ".package" + std::to_string(i));
            s.Add(LongHeader(static_cast<uint32_t>(16 + len), 5));
            s.Add(ByteVec(data.begin() + off, data.begin() + off + len));
        }
        s.Add(LongHeader(16, 6));
        s.Add({0, 0, 0, 0x10, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0x5A, 0x5A});
    }
    s.Mark("enddoc");
    s.Add({0, 0, 0, 0x10, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0x5A, 0x5A});
    s.Add(kUel);
    return s;
}

DecodeResult Decode(const ByteVec& bytes, DecodeOptions options = DecodeOptions()) {
    return DecodeStream(bytes.data(), bytes.size(), options);
}

std::string Errors(const DecodeResult& r) {
    std::string out;
    for (const auto& e : r.errors) out += std::to_string(e.offset) + ": " + e.message + "\n";
    return out;
}

void ExpectPage(const DecodedPage& got, const TestPage& want) {
    EXPECT_TRUE(got.complete);
    EXPECT_EQ(got.width, want.width);
    EXPECT_EQ(got.height, want.height);
    EXPECT_EQ(got.bitsPerDot, want.depth);
    EXPECT_EQ(got.pageNum, want.pageNum);
    EXPECT_EQ(got.copies, want.copies);
    EXPECT_TRUE(got.bits == want.bits);
}

std::string Listing(const ByteVec& bytes) {
    char* text = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&text, &size);
    DecodeOptions options;
    options.listing = out;
    Decode(bytes, options);
    std::fclose(out);
    std::string listing(text, size);
    std::free(text);
    return listing;
}

void Overwrite(ByteVec& bytes, size_t at, const ByteVec& with) {
    std::copy(with.begin(), with.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
}

TEST(DecodeZ, BandsStackIntoThePages) {
    // 600 rows: bands of 256, 256 and 88; 512 rows: exactly two bands.
    const std::vector<TestPage> pages = {Page(64, 600, 1, 11), Page(32, 512, 2, 12)};
    const Built s = StreamZ(pages, 3);
    const DecodeResult r = Decode(s.bytes);
    ASSERT_TRUE(r.ok()) << Errors(r);
    EXPECT_EQ(r.platform, PLATFORM_Z);
    ASSERT_EQ(r.pages.size(), 2u);
    ExpectPage(r.pages[0], pages[0]);
    ExpectPage(r.pages[1], pages[1]);
    EXPECT_EQ(FormatSummary(r), "summary: platform=Z pages=2 [page=1 copies=2 size=64x600 depth=1] "
                                "[page=2 copies=3 size=32x512 depth=1] status=ok");
}

TEST(DecodeC, PageRunsUpToThePageEndUel) {
    const std::vector<TestPage> pages = {Page(64, 100, 1, 21), Page(128, 40, 2, 22)};
    const DecodeResult r = Decode(StreamC(pages).bytes);
    ASSERT_TRUE(r.ok()) << Errors(r);
    EXPECT_EQ(r.platform, PLATFORM_C);
    ASSERT_EQ(r.pages.size(), 2u);
    ExpectPage(r.pages[0], pages[0]);
    ExpectPage(r.pages[1], pages[1]);
}

TEST(DecodeM, PackagesConcatenateIntoOneImage) {
    // Noise does not compress: well over 64 KiB of data, so three packages.
    TestPage noisy = {1024, 1200, 1, 1, 1, RandomBitmap(1024, 1200, 31, 50)};
    const std::vector<TestPage> pages = {noisy, Page(48, 30, 2, 32)};
    const Built s = StreamM(pages);
    ASSERT_TRUE(s.at.count("page1.package2"));
    const DecodeResult r = Decode(s.bytes);
    ASSERT_TRUE(r.ok()) << Errors(r);
    EXPECT_EQ(r.platform, PLATFORM_M);
    ASSERT_EQ(r.pages.size(), 2u);
    ExpectPage(r.pages[0], pages[0]);
    ExpectPage(r.pages[1], pages[1]);
}

TEST(DecodeM, TwoBitPageHasFourTonerLevels) {
    // 8 dots of two bits per row: 00 01 10 11 11 10 01 00 in every row.
    TestPage p = {8, 3, 1, 1, 2, ByteVec(3 * 2)};
    for (int y = 0; y < 3; ++y) {
        p.bits[2 * y] = 0x1B;
        p.bits[2 * y + 1] = 0xE4;
    }
    const DecodeResult r = Decode(StreamM({p}).bytes);
    ASSERT_TRUE(r.ok()) << Errors(r);
    ASSERT_EQ(r.pages.size(), 1u);
    ExpectPage(r.pages[0], p);
    const int levels[8] = {0, 1, 2, 3, 3, 2, 1, 0};
    for (uint32_t x = 0; x < 8; ++x) EXPECT_EQ(DotValue(r.pages[0], x, 2), levels[x]) << x;

    TempDir dir;
    std::string why;
    ASSERT_TRUE(WritePagePnm(dir.File("p.pgm"), r.pages[0], &why)) << why;
    std::ifstream in(dir.File("p.pgm"), std::ios::binary);
    const std::string pgm((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string header = "P5\n8 3\n255\n";
    ASSERT_EQ(pgm.size(), header.size() + 24);
    EXPECT_EQ(pgm.substr(0, header.size()), header);
    const uint8_t greys[8] = {255, 170, 85, 0, 0, 85, 170, 255};
    EXPECT_EQ(pgm.substr(header.size() + 16), std::string(greys, greys + 8));

    ASSERT_TRUE(WritePagePng(dir.File("p.png"), r.pages[0], &why)) << why;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, dir.File("p.png").c_str()));
    image.format = PNG_FORMAT_GRAY;
    std::vector<uint8_t> grey(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, grey.data(), 0, nullptr));
    EXPECT_EQ(std::string(grey.begin() + 16, grey.end()), std::string(greys, greys + 8));
}

TEST(DecodeErrors, CorruptedChecksumIsReportedAtItsCommand) {
    Built s = StreamZ({Page(64, 300, 1, 41), Page(64, 300, 2, 42)});
    const size_t at = s.at["page2.spec"];
    s.bytes[at + 17] ^= 0x01;
    const DecodeResult r = Decode(s.bytes);
    ASSERT_EQ(r.errors.size(), 1u) << Errors(r);
    EXPECT_EQ(r.errors[0].offset, at);
    EXPECT_NE(r.errors[0].message.find("checksum"), std::string::npos);
    EXPECT_EQ(r.pages.size(), 2u);  // the walk goes on after it
}

TEST(DecodeErrors, TruncatedBandIsReportedAtItsCommand) {
    Built s = StreamZ({Page(64, 600, 1, 51)});
    const size_t band = s.at["page1.band1"];
    s.bytes.resize(s.at["page1.band1.data"] + 10);
    const DecodeResult r = Decode(s.bytes);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.errors[0].offset, band) << Errors(r);
    EXPECT_NE(r.errors[0].message.find("remain"), std::string::npos);
}

TEST(DecodeErrors, WrongCompressedLengthIsReportedAtTheRasterImageCommand) {
    Built s = StreamC({Page(64, 100, 1, 61)});
    const size_t at = s.at["page1.raster"];
    const size_t len = s.at["page1.data"] - at;
    ASSERT_EQ(len, 18u);
    const uint32_t declared = static_cast<uint32_t>(s.bytes[at + 13] | s.bytes[at + 14] << 8) + 1;
    Overwrite(s.bytes, at, ShortCmd(0x0C, Cat({ByteVec(s.bytes.begin() + at + 3, s.bytes.begin() + at + 13),
                                               Le32(declared)})));
    const DecodeResult r = Decode(s.bytes);
    ASSERT_EQ(r.errors.size(), 1u) << Errors(r);
    EXPECT_EQ(r.errors[0].offset, at);
    EXPECT_NE(r.errors[0].message.find("compressed bytes"), std::string::npos);
    EXPECT_TRUE(r.pages[0].complete);  // the data itself is whole
}

TEST(DecodeErrors, WrongImageChecksumIsReported) {
    Built s = StreamC({Page(64, 100, 1, 71)});
    const size_t at = s.at["page1.checksum"];
    Overwrite(s.bytes, at, ShortCmd(0x1A, {static_cast<uint8_t>(s.bytes[at + 3] + 1), 0}));
    const DecodeResult r = Decode(s.bytes);
    ASSERT_EQ(r.errors.size(), 1u) << Errors(r);
    EXPECT_EQ(r.errors[0].offset, at);
}

TEST(DecodeErrors, BandsMustCoverThePage) {
    // Declare 700 rows over bands that cover 600.
    Built s = StreamZ({Page(64, 600, 1, 81)});
    const size_t at = s.at["page1.raster"];
    Overwrite(s.bytes, at, ShortCmd(0x0C, Cat({{0, 0x20}, Le16(64), Le16(700), Le16(0), Le16(0), Le32(0)})));
    const DecodeResult r = Decode(s.bytes);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.errors[0].offset, s.at["page1.band2"]) << Errors(r);  // band 2 is 88 rows, 256 due
    EXPECT_FALSE(r.pages[0].complete);
}

TEST(DecodeErrors, PackageSizesMustBeConsistent) {
    TestPage noisy = {1024, 1200, 1, 1, 1, RandomBitmap(1024, 1200, 91, 50)};
    Built s = StreamM({noisy});
    // Page size from START_PAGE_CMD and the JBIG header must agree with JBIG_PARAM_CMD.
    Built wrong = s;
    Overwrite(wrong.bytes, wrong.at["page1.param"] + 24, Be32(1199));
    DecodeResult r = Decode(wrong.bytes);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.errors[0].offset, s.at["page1.param"]) << Errors(r);
    // A package that says one byte more than it carries shifts everything after it.
    wrong = s;
    const size_t pkg = s.at["page1.package0"];
    Overwrite(wrong.bytes, pkg, Be32(65553));
    r = Decode(wrong.bytes);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.errors[0].offset, pkg) << Errors(r);
}

TEST(DecodeDocument, StartFirstAndEndLast) {
    // Without the reset and PJL end of job the document never ends.
    Built s = StreamZ({Page(32, 10, 1, 101)});
    ByteVec cut(s.bytes.begin(), s.bytes.begin() + static_cast<std::ptrdiff_t>(s.at["reset"]));
    DecodeResult r = Decode(cut);
    ASSERT_EQ(r.errors.size(), 1u) << Errors(r);
    EXPECT_EQ(r.errors[0].offset, cut.size());
    // A page before the job specification.
    ByteVec early = s.bytes;
    Overwrite(early, s.at["jobspec"], {0x0B, 0x05, 0x15, 0x03, 0xD8, 0, 0, 0, 0});  // density, no job spec
    r = Decode(early);
    ASSERT_FALSE(r.ok());
    EXPECT_NE(Errors(r).find("before the document start"), std::string::npos) << Errors(r);
    // Nothing but the end of job after the reset.
    ByteVec tail = s.bytes;
    Append(tail, kZero);
    EXPECT_FALSE(Decode(tail).ok());
}

TEST(DecodePlatform, OpeningTellsThePlatform) {
    const ByteVec z = StreamZ({Page(32, 8, 1, 111)}).bytes;
    const ByteVec c = StreamC({Page(32, 8, 1, 112)}).bytes;
    const ByteVec m = StreamM({Page(32, 8, 1, 113)}).bytes;
    EXPECT_EQ(DetectPlatform(z.data(), z.size()), PLATFORM_Z);
    EXPECT_EQ(DetectPlatform(c.data(), c.size()), PLATFORM_C);
    EXPECT_EQ(DetectPlatform(m.data(), m.size()), PLATFORM_M);
    EXPECT_EQ(DetectPlatform(m.data(), 12), PLATFORM_NONE);
    DecodeOptions asC;
    asC.platform = PLATFORM_C;
    const DecodeResult r = Decode(z, asC);
    EXPECT_EQ(r.platform, PLATFORM_C);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.errors[0].offset, 0u);
}

TEST(DecodeListing, ShowsTheFieldsOfTheByteImages) {
    Built s;
    s.Text(kPjlHeader);
    s.Add({0x0B, 0x12, 0x12, 0x09, 0x00, 0x3C, 0x3C, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00,
           0x4D});
    s.Add({0x0B, 0x12, 0x0C, 0x00, 0x20, 0x60, 0x13, 0x68, 0x1B, 0x60, 0x13, 0x00, 0x03, 0x40, 0xE2, 0x01, 0x00,
           0x28});
    s.Add({0x0B, 0x07, 0x19, 0x04, 0x00, 0x01, 0xD0});
    const std::string listing = Listing(s.bytes);
    EXPECT_NE(listing.find("paper=9 media=0 res=60x60 tray=1 color/feed/margin=0x00 copies=1 margins=0x0 page=1"),
              std::string::npos)
        << listing;
    EXPECT_NE(listing.find("whole=4960x7016 raster=4960x768 compressed=123456"), std::string::npos);
    EXPECT_NE(listing.find("thousands=4100"), std::string::npos);
    EXPECT_NE(listing.find("checksum=0x4D computed=0x4D"), std::string::npos);

    const ByteVec jbigParam = {0x00, 0x00, 0x00, 0x24, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00,
                               0x00, 0x00, 0x5A, 0x5A, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x13, 0x60,
                               0x00, 0x00, 0x1B, 0x68, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x03, 0x5C};
    const std::string m = Listing(Cat({kUel, {'J', 'Z', 'J', 'Z'}, jbigParam}));
    EXPECT_NE(m.find("JBIG_PARAM_CMD"), std::string::npos) << m;
    EXPECT_NE(m.find("XD=4960 YD=7016 L0=256 MX=0 MY=0 order=0x03 options=0x5C"), std::string::npos) << m;
}

// Every proper prefix of a well-formed stream is malformed, and none crashes it.
TEST(DecodeRobustness, EveryTruncationIsReported) {
    for (const ByteVec& whole : {StreamZ({Page(32, 300, 1, 121)}).bytes, StreamC({Page(32, 40, 1, 122)}).bytes,
                                 StreamM({Page(32, 40, 1, 123)}).bytes}) {
        ASSERT_TRUE(Decode(whole).ok());
        for (size_t n = 0; n < whole.size(); ++n) {
            const ByteVec cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
            const DecodeResult r = Decode(cut);
            ASSERT_FALSE(r.ok()) << "prefix of " << n << " bytes";
            for (const auto& e : r.errors) ASSERT_LE(e.offset, n);
        }
    }
}

TEST(DecodeRobustness, RandomAndMutatedInputNeverCrashes) {
    std::mt19937 rng(20261206);
    const std::vector<ByteVec> seeds = {StreamZ({Page(64, 300, 1, 131)}, 1).bytes,
                                        StreamC({Page(64, 60, 1, 132)}).bytes,
                                        StreamM({Page(64, 60, 1, 133, 2)}).bytes};
    DecodeOptions options;
    options.maxPageBytes = 1 << 20;  // mutated sizes stay cheap
    for (int round = 0; round < 3000; ++round) {
        ByteVec input;
        if (round % 4 == 3) {
            // Garbage behind a real opening, so the walkers see it.
            input = ByteVec(seeds[round % 3].begin(), seeds[round % 3].begin() + 16);
            for (size_t i = rng() % 600; i > 0; --i) input.push_back(static_cast<uint8_t>(rng()));
        } else {
            input = seeds[round % 3];
            for (int flips = 1 + static_cast<int>(rng() % 4); flips > 0; --flips)
                input[rng() % input.size()] = static_cast<uint8_t>(rng());
            if (rng() % 3 == 0) input.resize(rng() % input.size());
        }
        const DecodeResult r = Decode(input, options);
        for (const auto& e : r.errors) ASSERT_LE(e.offset, input.size());
        ASSERT_LE(r.errors.size(), options.maxErrors + 1);
    }
}

TEST(DecodeRobustness, HugeDeclarationsAreRefusedBeforeAllocating) {
    // A page of 65535 x 65535 dots needs 512 MiB; with a 1 MiB limit it is refused.
    Built s = StreamZ({Page(32, 10, 1, 141)});
    Overwrite(s.bytes, s.at["page1.raster"],
              ShortCmd(0x0C, Cat({{0, 0x20}, Le16(65535), Le16(65535), Le16(0), Le16(0), Le32(0)})));
    DecodeOptions options;
    options.maxPageBytes = 1 << 20;
    const DecodeResult r = Decode(s.bytes, options);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.errors[0].offset, s.at["page1.raster"]) << Errors(r);
    // M: a package beyond the stream's end.
    Built m = StreamM({Page(32, 10, 1, 142)});
    Overwrite(m.bytes, m.at["page1.package0"], Be32(0xFFFFFFF0));
    const DecodeResult rm = Decode(m.bytes, options);
    ASSERT_FALSE(rm.ok());
    EXPECT_EQ(rm.errors[0].offset, m.at["page1.package0"]);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(DecoderCommand, ChecksAndWritesPages) {
    const TestPage page = Page(64, 600, 7, 151);
    TempDir dir;
    const ByteVec stream = StreamZ({page}).bytes;
    std::ofstream(dir.File("job.prn"), std::ios::binary)
        .write(reinterpret_cast<const char*>(stream.data()), static_cast<std::streamsize>(stream.size()));

    DecoderRun run = RunDecoder({"--check", "--quiet", "--pages", dir.path(), "--pbm", dir.File("job.prn")}, {});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "summary: platform=Z pages=1 [page=7 copies=8 size=64x600 depth=1] status=ok\n");
    const std::string pbm = ReadFile(dir.File("page-001.pbm"));
    EXPECT_EQ(pbm, "P4\n64 600\n" + std::string(page.bits.begin(), page.bits.end()));

    // PNG from standard input: black where the bitmap has toner.
    run = RunDecoder({"--quiet", "--pages", dir.path()}, stream);
    EXPECT_EQ(run.status, 0) << run.err;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, dir.File("page-001.png").c_str()));
    image.format = PNG_FORMAT_GRAY;
    std::vector<uint8_t> grey(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, grey.data(), 0, nullptr));
    ASSERT_EQ(image.width, 64u);
    ASSERT_EQ(image.height, 600u);
    for (size_t i = 0; i < grey.size(); ++i)
        ASSERT_EQ(grey[i], (page.bits[i / 8] >> (7 - i % 8) & 1) ? 0 : 255) << i;
}

TEST(DecoderCommand, MalformedStreamGetsOneMessageWithItsOffset) {
    Built s = StreamZ({Page(64, 300, 1, 161)});
    const size_t at = s.at["page1.spec"];
    s.bytes[at + 17] ^= 0x01;
    const DecoderRun run = RunDecoder({"--check"}, s.bytes);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind("norvexdecode: offset " + std::to_string(at) + ": PAGE_SPEC", 0), 0u) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1);
    EXPECT_NE(run.out.find("status=malformed"), std::string::npos);
    EXPECT_NE(run.out.find("!! PAGE_SPEC"), std::string::npos);  // the listing marks it too
}

}  // namespace
