// norvexdecode: hand-built streams of each platform decode to the dots they were
// encoded from; faults and truncations are reported at their offset.
#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <png.h>

#include "norvexdecode.h"
#include "page_writer.h"
#include "support/job.h"
#include "support/stream_builder.h"

namespace {

struct TestPage {
    uint32_t width, height;  // dots
    int pageNum, copies;
    int depth;               // bits per dot (2 only on PLATFORM_M)
    ByteVec bits;            // rows of width x depth bits
};

TestPage Page(uint32_t width, uint32_t height, int pageNum, uint32_t seed, int depth = 1) {
    return {width, height, pageNum, pageNum + 1, depth, RandomBitmap(width * depth, height, seed, 20)};
}

// A stream and the offsets of the items the tests point at.
struct Built {
    ByteVec bytes;
    std::map<std::string, size_t> at;
    size_t pages = 0;
    void Add(const ByteVec& b, const std::string& mark = "") {
        if (!mark.empty()) at[mark] = bytes.size();
        Append(bytes, b);
    }
    // Overwrites the bytes from `offset` past the item `mark`.
    void Put(const std::string& mark, const ByteVec& b, size_t offset = 0) {
        std::copy(b.begin(), b.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at[mark] + offset));
    }
};

ByteVec PageSpec(const TestPage& p) {
    return ShortCmd(0x12, Cat({{9, 0, 60, 60, 1, 0}, Le16(p.copies), Le16(0), Le16(0), Le16(p.pageNum)}));
}

// Z: 256-line bands, each behind its 48-byte band command.
Built StreamZ(const std::vector<TestPage>& pages, int fillers = 0) {
    Built s;
    s.pages = pages.size();
    s.Add(OpeningZ());
    for (size_t n = 0; n < pages.size(); ++n) {
        const TestPage& p = pages[n];
        const std::string page = "page" + std::to_string(n + 1);
        s.Add(kZeros);
        s.Add(PageSpec(p), page + ".spec");
        s.Add(Cat({kZeros, kNonCustomPaper, kZeros}));
        for (int i = 0; i < fillers; ++i) s.Add(kZeros);  // keep-alive while the page is prepared
        s.Add(Cat({kCoverageZ4100, kZeros}));
        s.Add(RasterImageCmd(p.width, p.height, 0, 0, 0), page + ".raster");
        const size_t rowBytes = p.width / 8;
        for (uint32_t i = 0, row = 0; row < p.height; ++i, row += 256) {
            const uint32_t h = std::min<uint32_t>(256, p.height - row);
            const ByteVec band(p.bits.begin() + row * rowBytes, p.bits.begin() + (row + h) * rowBytes);
            const ByteVec data = JbigEncode(band, p.width, h, 3, 0x58, h, 0);
            const std::string name = page + ".band" + std::to_string(i);
            s.Add(BandCmdZ(p.width, h, data.size(), row), name);
            s.Add(data, name + ".data");
        }
        s.Add(Cat({kZeros, kFormFeed}));
    }
    s.Add(Cat({kReset, Str(kEndOfJobText)}));
    return s;
}

// C: one JBIG stream per page up to the page end's UEL.
Built StreamC(const std::vector<TestPage>& pages) {
    Built s;
    s.pages = pages.size();
    s.Add(OpeningC());
    for (size_t n = 0; n < pages.size(); ++n) {
        const TestPage& p = pages[n];
        const std::string page = "page" + std::to_string(n + 1);
        s.Add(kZeros);
        s.Add(PageSpec(p), page + ".spec");
        s.Add(Cat({kZeros, kNonCustomPaper, kZeros, kHostUse, kZeros}));
        const ByteVec data = JbigEncode(p.bits, p.width, p.height, 0, 0x08, 768, 8);
        s.Add(RasterImageCmd(p.width, p.height, p.width, 768, data.size()), page + ".raster");
        s.Add(data, page + ".data");
        s.Add(Cat({kUelC, kZeros}));
        uint32_t sum = 0;
        for (uint8_t b : Cat({data, kUelC})) sum += b;
        s.Add(ShortCmd(0x1A, {static_cast<uint8_t>(sum), 0}), page + ".checksum");
        s.Add(Cat({kZeros, kCoverageC1000, kZeros, kFormFeed}));
    }
    s.Add(Cat({kZeros, {0x0B, 0x05, 0x31, 0x80, 0x3F}, kZeros}));
    s.Add(Cat({kReset, Str(kEndOfJobText)}));
    return s;
}

// M: long commands; the image in packages of at most 64 KiB.
Built StreamM(const std::vector<TestPage>& pages) {
    Built s;
    s.pages = pages.size();
    s.Add(OpeningM());
    for (size_t n = 0; n < pages.size(); ++n) {
        const TestPage& p = pages[n];
        const std::string page = "page" + std::to_string(n + 1);
        const uint32_t imgW = p.width * p.depth;
        s.Add(Cat({LongHeader(184, 2, 14), LongParam(0x0003, 9)}));
        for (auto [code, value] : std::vector<std::pair<uint16_t, uint32_t>>{
                 {0x0004, p.copies}, {0x0005, 1}, {0x0006, 0}, {0x0007, 1}, {0x0008, 600}, {0x0009, 600},
                 {0x0016, 0}, {0x000C, imgW}, {0x000D, p.height}, {0x0010, p.depth}, {0x0011, p.width},
                 {0x0012, p.height}, {0xFF00, 3}})
            s.Add(LongParam(code, value));
        s.Add(Cat({LongHeader(36, 4), {0, 0, 1, 0}, Be32(imgW), Be32(p.height), Be32(256), {0, 0, 3, 0x5C}}),
              page + ".param");
        const ByteVec data = JbigEncode(p.bits, imgW, p.height, 3, 0x5C, 256, 0);
        for (size_t off = 0, i = 0; off < data.size(); off += 65536, ++i) {
            const size_t len = std::min<size_t>(65536, data.size() - off);
            s.Add(LongHeader(static_cast<uint32_t>(16 + len), 5), page + ".package" + std::to_string(i));
            s.Add(ByteVec(data.begin() + off, data.begin() + off + len));
        }
        s.Add(Cat({LongHeader(16, 6), LongHeader(16, 3)}));
    }
    s.Add(Cat({LongHeader(16, 1), kUel}));
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

TEST(Decode, EveryPlatformGivesBackTheEncodedPages) {
    // Z: 600 rows are bands of 256, 256 and 88, 512 rows exactly two bands.
    // M: noise does not compress, so its 150 KiB of data take three packages.
    const std::vector<TestPage> z = {Page(64, 600, 1, 11), Page(32, 512, 2, 12)};
    const std::vector<TestPage> c = {Page(64, 100, 1, 21), Page(128, 40, 2, 22)};
    const std::vector<TestPage> m = {{1024, 1200, 1, 1, 1, RandomBitmap(1024, 1200, 31, 50)}, Page(48, 30, 2, 32)};
    const Built builtM = StreamM(m);
    ASSERT_TRUE(builtM.at.count("page1.package2"));
    for (const auto& [platform, pages, bytes] : {std::make_tuple(PLATFORM_Z, z, StreamZ(z, 3).bytes),
                                                 std::make_tuple(PLATFORM_C, c, StreamC(c).bytes),
                                                 std::make_tuple(PLATFORM_M, m, builtM.bytes)}) {
        SCOPED_TRACE(PlatformName(platform));
        EXPECT_EQ(DetectPlatform(bytes.data(), bytes.size()), platform);
        const DecodeResult r = Decode(bytes);
        ASSERT_TRUE(r.ok()) << Errors(r);
        EXPECT_EQ(r.platform, platform);
        ASSERT_EQ(r.pages.size(), pages.size());
        for (size_t i = 0; i < pages.size(); ++i) {
            const DecodedPage& got = r.pages[i];
            EXPECT_TRUE(got.complete);
            EXPECT_EQ(std::make_tuple(got.width, got.height, got.bitsPerDot, got.pageNum, got.copies),
                      std::make_tuple(pages[i].width, pages[i].height, pages[i].depth, pages[i].pageNum,
                                      pages[i].copies));
            EXPECT_TRUE(got.bits == pages[i].bits);
        }
    }
    // Twelve bytes do not tell the platform; a platform forced on the wrong stream fails at once.
    EXPECT_EQ(DetectPlatform(builtM.bytes.data(), 12), PLATFORM_NONE);
    DecodeOptions asC;
    asC.platform = PLATFORM_C;
    const DecodeResult r = Decode(StreamZ(z).bytes, asC);
    EXPECT_EQ(r.platform, PLATFORM_C);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.errors[0].offset, 0u);
}

TEST(Decode, TwoBitPageHasFourTonerLevelsShownAsFourGreys) {
    // 8 dots of two bits per row: 00 01 10 11 11 10 01 00 in every row.
    const TestPage p = {8, 3, 1, 1, 2, {0x1B, 0xE4, 0x1B, 0xE4, 0x1B, 0xE4}};
    const DecodeResult r = Decode(StreamM({p}).bytes);
    ASSERT_TRUE(r.ok()) << Errors(r);
    ASSERT_EQ(r.pages.size(), 1u);
    const int levels[8] = {0, 1, 2, 3, 3, 2, 1, 0};
    for (uint32_t x = 0; x < 8; ++x) EXPECT_EQ(DotValue(r.pages[0], x, 2), levels[x]) << x;

    TempDir dir;
    std::string why;
    ASSERT_TRUE(WritePagePnm(dir.File("p.pgm"), r.pages[0], &why)) << why;
    std::ifstream in(dir.File("p.pgm"), std::ios::binary);
    const std::string greys("\xFF\xAA\x55\x00\x00\x55\xAA\xFF", 8);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "P5\n8 3\n255\n" + greys + greys + greys);
}

TEST(DecodeErrors, FaultsAreReportedAtTheirCommand) {
    Built checksum = StreamZ({Page(64, 300, 1, 41), Page(64, 300, 2, 42)});
    checksum.bytes[checksum.at["page2.spec"] + 17] ^= 0x01;
    Built band = StreamZ({Page(64, 600, 1, 51)});
    band.bytes.resize(band.at["page1.band1.data"] + 10);
    Built length = StreamC({Page(64, 100, 1, 61)});
    const size_t at = length.at["page1.raster"];
    const uint32_t declared = length.bytes[at + 13] + (length.bytes[at + 14] << 8) + 1;  // one byte too many
    const ByteVec fields(&length.bytes[at + 3], &length.bytes[at + 13]);
    length.Put("page1.raster", ShortCmd(0x0C, Cat({fields, Le32(declared)})));
    Built package = StreamM({Page(32, 10, 1, 142)});
    package.Put("page1.package0", Be32(0xFFFFFFF0));
    Built huge = StreamZ({Page(32, 10, 1, 141)});
    huge.Put("page1.raster", RasterImageCmd(65535, 65535, 0, 0, 0));
    const struct {
        const char* name;
        const Built& stream;
        const char* at;    // mark of the command blamed
        const char* text;  // part of the first message
        bool alone;        // the only error, and every page still decodes
    } faults[] = {
        {"corrupted checksum", checksum, "page2.spec", "checksum", true},
        {"truncated band", band, "page1.band1", "remain", false},
        {"wrong compressed length", length, "page1.raster", "compressed bytes", true},
        {"package beyond the stream", package, "page1.package0", "", false},
        {"page too large to allocate", huge, "page1.raster", "", false},
    };
    DecodeOptions options;
    options.maxPageBytes = 1 << 20;  // a 65535 x 65535 page needs 512 MiB
    for (const auto& f : faults) {
        SCOPED_TRACE(f.name);
        const DecodeResult r = Decode(f.stream.bytes, options);
        ASSERT_FALSE(r.ok());
        EXPECT_EQ(r.errors[0].offset, f.stream.at.at(f.at)) << Errors(r);
        EXPECT_NE(r.errors[0].message.find(f.text), std::string::npos) << Errors(r);
        if (!f.alone) continue;
        EXPECT_EQ(r.errors.size(), 1u) << Errors(r);
        ASSERT_EQ(r.pages.size(), f.stream.pages);  // the walk goes on
        for (const DecodedPage& page : r.pages) EXPECT_TRUE(page.complete);
    }
}

TEST(DecodeListing, ShowsTheFieldsOfTheByteImages) {
    const std::string c = Listing(Cat({Str(kPjlHeaderText),
                                       {0x0B, 0x12, 0x12, 0x09, 0x00, 0x3C, 0x3C, 0x01, 0x00, 0x01, 0x00, 0x00,
                                        0x00, 0x00, 0x00, 0x01, 0x00, 0x4D},
                                       {0x0B, 0x12, 0x0C, 0x00, 0x20, 0x60, 0x13, 0x68, 0x1B, 0x60, 0x13, 0x00,
                                        0x03, 0x40, 0xE2, 0x01, 0x00, 0x28},
                                       kCoverageZ4100}));
    for (const char* field : {"paper=9 media=0 res=60x60 tray=1 color/feed/margin=0x00 copies=1 margins=0x0 page=1",
                              "checksum=0x4D computed=0x4D", "whole=4960x7016 raster=4960x768 compressed=123456",
                              "thousands=4100"})
        EXPECT_NE(c.find(field), std::string::npos) << field << "\n" << c;
    const std::string m = Listing(Cat({kUel, Str("JZJZ"), LongHeader(36, 4),
                                       {0, 0, 1, 0, 0, 0, 0x13, 0x60, 0, 0, 0x1B, 0x68, 0, 0, 1, 0, 0, 0, 3, 0x5C}}));
    EXPECT_NE(m.find("JBIG_PARAM_CMD"), std::string::npos) << m;
    EXPECT_NE(m.find("XD=4960 YD=7016 L0=256 MX=0 MY=0 order=0x03 options=0x5C"), std::string::npos) << m;
}

// Every proper prefix of a well-formed stream is malformed, and none crashes it.
TEST(DecodeRobustness, EveryTruncationIsReported) {
    for (const ByteVec& whole : {StreamZ({Page(32, 300, 1, 121)}).bytes, StreamC({Page(32, 40, 1, 122)}).bytes,
                                 StreamM({Page(32, 40, 1, 123)}).bytes}) {
        ASSERT_TRUE(Decode(whole).ok());
        for (size_t n = 0; n < whole.size(); ++n) {
            const DecodeResult r = Decode(ByteVec(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n)));
            ASSERT_FALSE(r.ok()) << "prefix of " << n << " bytes";
            for (const auto& e : r.errors) ASSERT_LE(e.offset, n);
        }
    }
}

TEST(DecoderCommand, ChecksAndWritesPages) {
    const TestPage page = Page(64, 600, 7, 151);
    TempDir dir;
    const ByteVec stream = StreamZ({page}).bytes;
    std::ofstream(dir.File("job.prn"), std::ios::binary)
        .write(reinterpret_cast<const char*>(stream.data()), static_cast<std::streamsize>(stream.size()));

    JobRun run = RunDecoder({"--check", "--quiet", "--pages", dir.path(), "--pbm", dir.File("job.prn")}, {});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(std::string(run.out.begin(), run.out.end()),
              "summary: platform=Z pages=1 [page=7 copies=8 size=64x600 depth=1] status=ok\n");
    std::ifstream pbm(dir.File("page-001.pbm"), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(pbm), {}),
              "P4\n64 600\n" + std::string(page.bits.begin(), page.bits.end()));

    // PNG from standard input: black where the bitmap has toner.
    run = RunDecoder({"--quiet", "--pages", dir.path()}, stream);
    EXPECT_EQ(run.status, 0) << run.err;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, dir.File("page-001.png").c_str()));
    image.format = PNG_FORMAT_GRAY;
    std::vector<uint8_t> grey(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, grey.data(), 0, nullptr));
    ASSERT_EQ(grey.size(), 64u * 600);
    for (size_t i = 0; i < grey.size(); ++i)
        ASSERT_EQ(grey[i], (page.bits[i / 8] >> (7 - i % 8) & 1) ? 0 : 255) << i;

    // A malformed stream gets one message with its offset, and the listing marks it.
    Built bad = StreamZ({Page(64, 300, 1, 161)});
    bad.bytes[bad.at["page1.spec"] + 17] ^= 0x01;
    run = RunDecoder({"--check"}, bad.bytes);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind("norvexdecode: offset " + std::to_string(bad.at["page1.spec"]) + ": PAGE_SPEC", 0), 0u)
        << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1);
    const std::string out(run.out.begin(), run.out.end());
    EXPECT_NE(out.find("status=malformed"), std::string::npos);
    EXPECT_NE(out.find("!! PAGE_SPEC"), std::string::npos);
}

}  // namespace
