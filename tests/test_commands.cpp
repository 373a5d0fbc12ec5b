// The printer commands as the filter builds and sends them, against their byte images in the
// printer's command reference; what is spooled for collated copies; what a failed send or allocation leaves.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

#include "common/last_error.h"
#include "common/output.h"
#include "common/platform.h"
#include "prnt/document.h"
#include "prnt/image.h"
#include "prnt/page.h"
#include "prnt/pjl.h"

namespace {

using ByteVec = std::vector<uint8_t>;

void Append(ByteVec& out, const ByteVec& bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); }
ByteVec Str(const std::string& text) { return ByteVec(text.begin(), text.end()); }
ByteVec Le16(uint32_t v) { return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)}; }
ByteVec Be16(uint32_t v) { return {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)}; }

ByteVec Cat(std::initializer_list<ByteVec> parts) {
    ByteVec out;
    for (const ByteVec& p : parts) Append(out, p);
    return out;
}

ByteVec Be32(uint32_t v) { return Cat({Be16(v >> 16), Be16(v)}); }

// Pieces the jobs carry.
const ByteVec kZeros = {0x00, 0x00};  // separator and keep-alive filler
const ByteVec kUelC = {0x1B, 0xFF, 0x2D, 0x31, 0x32, 0x33, 0x34, 0x35, 0x58};
const ByteVec kUel = {0x1B, 0x25, 0x2D, 0x31, 0x32, 0x33, 0x34, 0x35, 0x58};
const ByteVec kFormFeed = {0x0B, 0x04, 0x18, 0xD9};
const ByteVec kReset = {0x0B, 0x04, 0x17, 0xDA};
const ByteVec kNonCustomPaper = {0x0B, 0x0C, 0x13, 0, 0, 0, 0, 0, 0, 0, 0, 0xD6};
const ByteVec kHostUse = {0x0B, 0x04, 0x32, 0xBF};
const ByteVec kCoverageZ4100 = {0x0B, 0x07, 0x19, 0x04, 0x00, 0x01, 0xD0};  // 4,100,000 dots
const ByteVec kCoverageC1000 = {0x0B, 0x06, 0x1E, 0xE8, 0x03, 0xE6};
const std::string kPjlHeaderText = "\x1B%-12345X@PJL\r\n";
const std::string kEndOfJobText = "\x1B%-12345X@PJL\r\n@PJL EOJ\r\n\x1B%-12345X\r\n";

// A short command: 0x0B, length, code, parameters and the checksum that makes the
// whole packet sum to 0 modulo 256.
ByteVec ShortCmd(uint8_t code, const ByteVec& params) {
    ByteVec cmd = {0x0B, static_cast<uint8_t>(params.size() + 4), code};
    Append(cmd, params);
    uint8_t sum = 0;
    for (uint8_t b : cmd) sum = static_cast<uint8_t>(sum + b);
    cmd.push_back(static_cast<uint8_t>(-sum));
    return cmd;
}

// A long command header (signature 0x5A5A) and a parameter record (type 1).
ByteVec LongHeader(uint32_t length, uint32_t type, uint32_t paramCount = 0) {
    return Cat({Be32(length), Be32(type), Be32(paramCount), Be16(12 * paramCount), {0x5A, 0x5A}});
}

ByteVec LongParam(uint16_t code, uint32_t value) { return Cat({Be32(12), Be16(code), {1, 0}, Be32(value)}); }

// Document openings, transcribed from the printer's command reference.
// C: job 7, flags 0x30, toner save on, density 3, dated 3 December 2026.
ByteVec OpeningC() {
    return Cat({kUelC, {0x0B, 0x04, 0x16, 0xDB}, Str(kEndOfJobText + "versions=3.1.2.1"), kZeros,
                Str(kPjlHeaderText + "@PJL ENTER LANGUAGE=PL\r\n"), kZeros, {0x0B, 0x06, 0x11, 0x07, 0x30, 0xA7},
                kZeros, {0x0B, 0x05, 0x19, 0x01, 0xD6}, kZeros, {0x0B, 0x05, 0x15, 0x03, 0xD8},
                {0x0B, 0x08, 0x1F, 0xEA, 0x07, 0x0C, 0x03, 0xCE}});
}

// Z: job 513, flags 0x30, fine mode, density 3, at 14:05 on 3 December 2026
// from host "printhost", a model without toner record.
ByteVec OpeningZ() {
    return Cat({Str(kPjlHeaderText + "@PJL JOBTIME=05:14:03:12:2026\r\n@PJL JOBOWNER=printhost\r\n"
                                     "@PJL ENTER LANGUAGE=PL\r\n"),
                kZeros, {0x0B, 0x05, 0x1F, 0x01, 0xD0}, kZeros, {0x0B, 0x09, 0x11, 0x30, 0x01, 0x02, 0x00, 0x00, 0xA8},
                kZeros, {0x0B, 0x05, 0x15, 0x03, 0xD8}, kZeros});
}

// M: the toner parameter command, then the job header with its three parameters (153 bytes).
ByteVec OpeningM() {
    ByteVec out = Cat({kUel, Str("JZJZ"), LongHeader(88, 17)});
    for (uint16_t v : {0,   81,  115, 110, 150, 122, 100, 150, 200, 100, 81,  100, 100, 100, 100, 100, 100, 100,
                       100, 100, 100, 100, 100, 100, 120, 135, 150, 180, 200, 120, 150, 190, 350, 400, 100, 100})
        Append(out, Be16(v));
    return Cat({out, LongHeader(52, 0, 3), LongParam(0, 0), LongParam(1, 0), LongParam(2, 1)});
}

// The device: every write as handed over, but the k-th one (1-based), which fails.
std::vector<ByteVec> gWrites;
int gCalls = 0, gFailAt = 0;

std::size_t DeviceWrite(const void* data, std::size_t count) {
    if (++gCalls == gFailAt) return 0;
    gWrites.emplace_back(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + count);
    return 1;
}

struct Device {
    explicit Device(int failAt = 0) {
        ResetRouting();
        gWrites.clear();
        gCalls = 0;
        gFailAt = failAt;
        SetDeviceWriter(DeviceWrite);
    }
    ~Device() {
        SetDeviceWriter(nullptr);
        ResetRouting();
    }
    static ByteVec Bytes() {
        ByteVec out;
        for (const ByteVec& w : gWrites) Append(out, w);
        return out;
    }
};

std::time_t gNow = 0;
const char* gHostName = nullptr;  // nullptr: the lookup fails

// Delivered the way gethostname does: cut to the caller's length, terminated
// only when there is room.
int FixedHostName(char* name, std::size_t len) {
    if (gHostName == nullptr) return -1;
    const std::size_t size = std::strlen(gHostName);
    std::memcpy(name, gHostName, std::min(size + 1, len));
    return size < len ? 0 : -1;
}

template <typename Record>
ByteVec RecordBytes(const Record& record) {
    const auto* p = reinterpret_cast<const uint8_t*>(&record);
    return ByteVec(p, p + sizeof record);
}

GDI_START_DOC_PARAM StartParam(int32_t jobID, const char* model = "Norvex Dolvek Series") {
    GDI_START_DOC_PARAM param{};
    param.jobID = jobID;
    param.DuplexMode = 0x20;
    param.saveMode = 0x10;
    param.densityLevel = 3;
    param.tonerSaveEnable = 1;
    param.FineMode = 1;
    param.modelName = model;
    return param;
}

// A4: paper code 9, 600 dpi given as 60 on the short-packet platforms; a custom
// size (paper code 0 or 255) and its print area.
GDI_START_PAGE_PARAM PageParam(uint16_t paperSize = 9) {
    GDI_START_PAGE_PARAM page{};
    page.paperSize = paperSize;
    page.resolutionX = page.resolutionY = 60;
    page.tray = page.copies = page.pageNum = 1;
    page.userPhyPgW = 0x1234;
    page.userPhyPgH = 0x0567;
    page.userPrntAreaW = 0x1100;
    page.userPrntAreaH = 0x0480;
    return page;
}

// A 1000-point A4 page end (0.7 in single precision lies just below 0.7, hence
// 699 at density 0), with image checksum 0x9E.
GDI_END_PAGE_PARAM EndParam(int32_t page = 1, int32_t bMachDup = 0, int32_t density = 2,
                            int32_t widthMm = 210) {
    gImageCoverage = 1000000;
    gImageChecksum = 0x9E;
    GDI_END_PAGE_PARAM end{};
    end.page = page;
    end.bMachDup = bMachDup;
    end.resolutionE = 600;
    end.paperWidthE = widthMm;
    end.densityE = density;
    return end;
}

GDI_SEND_PAGE_PARAM SendParam(ByteVec& dots, int width, int height) {
    GDI_SEND_PAGE_PARAM page{};
    page.compression = 0x20;
    page.whlImgW = static_cast<uint16_t>(width);
    page.whlImgH = static_cast<uint16_t>(height);
    page.sendImgBuf = dots.data();
    return page;
}

const ByteVec kMachineDuplex = {0x0B, 0x04, 0x40, 0xB1};
const ByteVec kPageSpecCode9 = {0x0B, 0x12, 0x12, 0x09, 0x00, 0x3C, 0x3C, 0x01, 0x00,
                                0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x4D};
const ByteVec kHeaderM = {0, 0, 0, 0xB8, 0, 0, 0, 0x02, 0, 0, 0, 0x0E, 0, 0xA8, 0x5A, 0x5A};
const ByteVec kPaperSizeParam9 = {0x00, 0x00, 0x00, 0x0C, 0x00, 0x03, 0x01, 0x00, 0x00, 0x00, 0x00, 0x09};
const ByteVec kPageEndC =
    Cat({kUelC, kZeros, {0x0B, 0x06, 0x1A, 0x9E, 0x00, 0x37}, kZeros, kCoverageC1000, kZeros, kFormFeed});
const ByteVec kClosingC = Cat({kZeros, {0x0B, 0x05, 0x31, 0x80, 0x3F}, kZeros, kReset, Str(kEndOfJobText)});

// Senders: what reaches the device (and the spool file, which the table reads),
// where the sender returns `result`. The document start's time zone, clock and
// host name are fixed while it runs.
ByteVec StartDoc(int platform, int32_t jobID, const char* tz, std::time_t now, int result = 1,
                 const char* model = "Norvex Dolvek Series", const char* host = "printhost") {
    setenv("TZ", tz, 1);
    tzset();
    gNow = now;
    gHostName = host;
    SetJobClock([] { return gNow; });
    SetHostNameSource(FixedHostName);
    GDI_START_DOC_PARAM param = StartParam(jobID, model);
    EXPECT_EQ(Prnt_StartDoc(&param, platform), result);
    SetJobClock(nullptr);
    SetHostNameSource(nullptr);
    unsetenv("TZ");
    tzset();
    return Device::Bytes();
}

ByteVec EndDoc(int platform, int32_t page, int32_t bMachDup, int result = 1) {
    GDI_END_DOC_PARAM param{page, bMachDup};
    EXPECT_EQ(Prnt_EndDoc(&param, platform), result);
    return Device::Bytes();
}

// Short packets reset the coverage at the page start; PLATFORM_M never reports it.
ByteVec StartPage(int platform, int result = 1) {
    gImageCoverage = 12345;
    const GDI_START_PAGE_PARAM page = PageParam();
    EXPECT_EQ(Prnt_StartPage(&page, platform), result);
    EXPECT_EQ(gImageCoverage, platform == PLATFORM_M ? 12345u : 0u);
    return Device::Bytes();
}

ByteVec EndPage(int platform, int32_t page, int32_t bMachDup, int result = 1) {
    GDI_END_PAGE_PARAM end = EndParam(page, bMachDup);
    EXPECT_EQ(Prnt_EndPage(&end, platform), result);
    EXPECT_EQ(end.dotCnt, platform == PLATFORM_C ? 1000 : 0);
    return Device::Bytes();
}

ByteVec PageSpec(int platform, uint16_t feedEdge, uint8_t colorMode = 0, uint8_t marginUnit = 0) {
    GDI_START_PAGE_PARAM page = PageParam();
    page.feedEdge = feedEdge;
    page.colorMode = colorMode;
    page.marginUnit = marginUnit;
    GDI_PAGE_SPEC spec;
    EXPECT_EQ(GetPageSpecCmd(&page, &spec, platform), 1);
    return RecordBytes(spec);
}

ByteVec CustomPaper(int platform, uint16_t paperSize) {
    const GDI_START_PAGE_PARAM page = PageParam(paperSize);
    GDI_CUSTOM_PAPER cmd;
    GetCustomPaperCmd(&page, &cmd, platform);
    return RecordBytes(cmd);
}

// The command and the dot count it leaves in the page end.
ByteVec CoverageC(int32_t density, int32_t widthMm) {
    GDI_END_PAGE_PARAM end = EndParam(1, 0, density, widthMm);
    GDI_COVERAGE_C cmd;
    EXPECT_EQ(GetCoverageCmd_C(&end, &cmd), 1);
    return Cat({RecordBytes(cmd), Le16(end.dotCnt)});
}

// Byte images. On PLATFORM_Z only the owner line's end, the fine mode and the
// separators are spooled; the local date and time go out: 20:00 UTC on
// 2 December 2026 (1796241600) is already 3 December at UTC+9, 19:05 UTC on
// 3 December (1796324700) is 14:05 at UTC-5.
TEST(CommandBytes, ByteImages) {
    const ByteVec custom = ShortCmd(0x13, {0x34, 0x12, 0x67, 0x05, 0x00, 0x11, 0x80, 0x04});
    const ByteVec endM = Cat({{0, 0, 0, 0x10, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0x5A, 0x5A}, kUel});
    const struct {
        const char* what;
        std::function<ByteVec()> produced;
        ByteVec expected;
        std::optional<ByteVec> spooled = std::nullopt;  // the spool file's bytes, where checked
    } rows[] = {
        {"opening C", [] { return StartDoc(PLATFORM_C, 7, "JST-9", 1796241600); }, OpeningC(), OpeningC()},
        {"opening Z", [] { return StartDoc(PLATFORM_Z, 513, "EST5", 1796324700); }, OpeningZ(),
         Cat({Str("\r\n"), kZeros, {0x0B, 0x05, 0x1F, 0x01, 0xD0}, kZeros, kZeros, kZeros})},
        {"opening M", [] { return StartDoc(PLATFORM_M, 513, "UTC0", 0); }, OpeningM(), OpeningM()},
        {"job specification C: the job number and toner save keep their low byte",
         [] {
             GDI_START_DOC_PARAM param = StartParam(513);
             param.tonerSaveEnable = 0x101;
             GDI_JOB_SPEC_C jobSpec;
             GDI_TONER_SAVE tonerSave;
             EXPECT_EQ(GetJobSpecCmd_C(&param, &jobSpec) + GetTonerSaveCmd(&param, &tonerSave), 2);
             return Cat({RecordBytes(jobSpec), RecordBytes(tonerSave)});
         },
         {0x0B, 0x06, 0x11, 0x01, 0x30, 0xAD, 0x0B, 0x05, 0x19, 0x01, 0xD6}},
        {"document end Z", [] { return EndDoc(PLATFORM_Z, 3, 1); }, Cat({kReset, Str(kEndOfJobText)}),
         Cat({kReset, Str(kEndOfJobText)})},
        {"document end M", [] { return EndDoc(PLATFORM_M, 1, 0); }, endM, ByteVec{}},
        {"document end C, odd machine duplex job: the sheet closed", [] { return EndDoc(PLATFORM_C, 3, 1); },
         Cat({kZeros, kMachineDuplex, kClosingC}), Cat({kZeros, kMachineDuplex, kClosingC})},
        {"document end C, even", [] { return EndDoc(PLATFORM_C, 2, 1); }, kClosingC, kClosingC},
        {"document end C, duplex 2", [] { return EndDoc(PLATFORM_C, 3, 2); }, kClosingC, kClosingC},
        {"document end C, one-sided", [] { return EndDoc(PLATFORM_C, 3, 0); }, kClosingC, kClosingC},
        {"page start C", [] { return StartPage(PLATFORM_C); },
         Cat({kZeros, kPageSpecCode9, kZeros, kNonCustomPaper, kZeros, kHostUse, kZeros})},
        {"page start Z", [] { return StartPage(PLATFORM_Z); },
         Cat({kZeros, kPageSpecCode9, kZeros, kNonCustomPaper, kZeros})},
        {"page specification C, long edge", [] { return PageSpec(PLATFORM_C, kFeedLongEdge); },
         ShortCmd(0x12, {9, 0, 60, 60, 1, 0x40, 1, 0, 0, 0, 0, 0, 1, 0})},
        {"page specification Z: no feed edge, colour or margin unit",
         [] { return PageSpec(PLATFORM_Z, kFeedLongEdge, 0x02, 0x01); }, kPageSpecCode9},
        {"custom paper C, code 255", [] { return CustomPaper(PLATFORM_C, 255); }, custom},
        {"custom paper C, code 0", [] { return CustomPaper(PLATFORM_C, 0); }, kNonCustomPaper},
        {"custom paper Z, code 0", [] { return CustomPaper(PLATFORM_Z, 0); }, custom},
        {"custom paper Z, code 255", [] { return CustomPaper(PLATFORM_Z, 255); }, kNonCustomPaper},
        {"custom paper M", [] { return CustomPaper(PLATFORM_M, 0); }, kNonCustomPaper},
        {"raster image command, A4",
         [] {
             GDI_SEND_PAGE_PARAM page{};
             page.compression = 0x20;
             page.whlImgW = page.rasImgW = 4960;
             page.whlImgH = 7016;
             page.rasImgH = 768;
             page.cmpImgBytes = 123456;
             GDI_RASTER_IMAGE cmd;
             EXPECT_EQ(GetRasterImageCmd(&page, &cmd), 1);
             return RecordBytes(cmd);
         },
         {0x0B, 0x12, 0x0C, 0x00, 0x20, 0x60, 0x13, 0x68, 0x1B, 0x60, 0x13, 0x00, 0x03, 0x40, 0xE2, 0x01, 0x00,
          0x28}},
        {"JBIG parameters M, A4",
         [] {
             ByteVec white(4960 / 8 * 7016, 0);
             GDI_SEND_PAGE_PARAM page = SendParam(white, 4960, 7016);
             EXPECT_EQ(Prnt_SendPage(&page, PLATFORM_M), 1) << prntLastError;
             return gWrites.empty() ? ByteVec{} : gWrites[0];
         },
         Cat({LongHeader(36, 4), {0, 0, 1, 0, 0, 0, 0x13, 0x60, 0, 0, 0x1B, 0x68, 0, 0, 1, 0, 0, 0, 3, 0x5C}})},
        {"coverage C, density 0", [] { return CoverageC(0, 210); }, Cat({ShortCmd(0x1E, Le16(699)), Le16(699)})},
        {"coverage C, A5", [] { return CoverageC(2, 148); }, Cat({ShortCmd(0x1E, Le16(1500)), Le16(1500)})},
        {"coverage C, 125 mm", [] { return CoverageC(2, 125); }, Cat({kCoverageC1000, Le16(1000)})},
        {"coverage C, 124 mm", [] { return CoverageC(2, 124); }, Cat({ShortCmd(0x1E, Le16(2000)), Le16(2000)})},
        {"coverage Z, 4,100,000 dots",
         [] {
             gImageCoverage = 4100000;
             GDI_COVERAGE_Z z;
             EXPECT_EQ(GetCoverageCmd_Z(&z), 1);
             return RecordBytes(z);
         },
         kCoverageZ4100},
        {"page end C", [] { return EndPage(PLATFORM_C, 1, 0); }, kPageEndC},
        {"page end C, odd page of machine duplex: the sheet turned", [] { return EndPage(PLATFORM_C, 3, 1); },
         Cat({kPageEndC, kZeros, kMachineDuplex})},
        {"page end C, even page of machine duplex", [] { return EndPage(PLATFORM_C, 2, 1); }, kPageEndC},
        {"page end Z", [] { return EndPage(PLATFORM_Z, 1, 1); }, Cat({kZeros, kFormFeed})},
        {"page end M", [] { return EndPage(PLATFORM_M, 1, 1); },
         {0, 0, 0, 0x10, 0, 0, 0, 0x03, 0, 0, 0, 0, 0, 0, 0x5A, 0x5A}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Device device;
        std::FILE* spool = std::tmpfile();  // anonymous: what the routing wrote to it, read back whole
        gCollateFile = fileno(spool);
        EXPECT_EQ(row.produced(), row.expected);
        ByteVec spooled(static_cast<std::size_t>(lseek(fileno(spool), 0, SEEK_END)));
        EXPECT_EQ(pread(fileno(spool), spooled.data(), spooled.size(), 0), static_cast<ssize_t>(spooled.size()));
        if (row.spooled) {
            EXPECT_EQ(spooled, *row.spooled);
        }
        std::fclose(spool);
        gImageCoverage = gImageChecksum = 0;
    }
}

// A failed send stops the sender at it: nothing more is sent.
TEST(CommandBytes, FailedSendStopsAtIt) {
    const ByteVec opening = OpeningC();
    const ByteVec jobSpecC = {0x0B, 0x06, 0x11};
    const auto beforeJobSpec = std::search(opening.begin(), opening.end(), jobSpecC.begin(), jobSpecC.end());
    static ByteVec dots(32 * 300);
    for (std::size_t i = 0; i < dots.size(); ++i) dots[i] = static_cast<uint8_t>(i * 2654435761u >> 24);
    const auto sendPage = [](int platform) {
        GDI_SEND_PAGE_PARAM page = SendParam(dots, 256, 300);
        EXPECT_EQ(Prnt_SendPage(&page, platform), 0);
    };
    const struct {
        const char* what;
        int failAt;
        std::function<void()> send;  // expects the sender to fail
        std::optional<ByteVec> before;  // the bytes sent before it; else only their count
    } rows[] = {
        {"document start C, the job specification", 9, [] { StartDoc(PLATFORM_C, 7, "UTC0", 0, 0); },
         ByteVec(opening.begin(), beforeJobSpec)},
        {"document end C, the machine duplex command", 2, [] { EndDoc(PLATFORM_C, 5, 1, 0); }, kZeros},
        {"page start M, the copies", 3, [] { StartPage(PLATFORM_M, 0); }, Cat({kHeaderM, kPaperSizeParam9})},
        {"page end C, the machine duplex command", 9, [] { EndPage(PLATFORM_C, 1, 1, 0); },
         Cat({kPageEndC, kZeros})},
        {"page image Z", 1, [&] { sendPage(PLATFORM_Z); }, ByteVec{}},
        {"page image C", 2, [&] { sendPage(PLATFORM_C); }, std::nullopt},
        {"page image M", 4, [&] { sendPage(PLATFORM_M); }, std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Device device(row.failAt);
        row.send();
        EXPECT_EQ(gWrites.size(), static_cast<std::size_t>(row.failAt - 1));
        if (row.before) {
            EXPECT_EQ(Device::Bytes(), *row.before);
        }
        gImageCoverage = gImageChecksum = 0;
    }
}

// On PLATFORM_Z the toner record follows the model name, compared whole and
// case-sensitive; a host name of n bytes adds n. A long host name is cut to 32
// bytes; a failing lookup (after a job that had a name) and an empty name own
// the job with an empty value on a whole line, and the start goes on.
TEST(DocumentStart, PlatformZFollowsTheModelAndTheHostName) {
    const ByteVec kavrin = Cat({kZeros, {0x0B, 0x24, 0x1E, 0x00, 0x1E, 0x24, 0x26, 0x2F, 0x50, 0x06, 0x20, 0x20},
                                {0x20, 0x28, 0x2C}, ByteVec(18, 0x20), {0x0A, 0x00, 0xC8}});
    const ByteVec serith = Cat({{0x0B, 0x28, 0x1E, 0x00, 0x17, 0x26, 0x00, 0x30, 0x40, 0x20, 0x17, 0x20, 0x20},
                                {0x00, 0x00}, ByteVec(17, 0x20), {0x08, 0x0A, 0x00, 0x00, 0x00, 0x00},
                                {0x00, 0x59}});
    const char* longName = "an-unusually-long-print-server-name.example.org";
    const struct {
        const char* model;
        const char* host;  // nullptr: the lookup fails
        std::size_t size;
        ByteVec tail;
        std::string text;  // the line after the PJL header, or the owner's lines
    } cases[] = {
        {"norvex kavrin series", "printhost", 122, {}, "@PJL JOBTIME="},
        {"Norvex Kavrin Series2", "printhost", 122, {}, "@PJL JOBTIME="},
        {"Norvex Quessan", "printhost", 122, {}, "@PJL JOBTIME="},
        {"Norvex Quessan Series", "printhost", 162, serith, "@PJL JOBTIME="},
        {"Norvex Kavrin Series", "printhost", 184, kavrin, "@PJL LANGUAGEVERSION=1.0\r\n"},
        {"", longName, 145, {}, "@PJL JOBOWNER=an-unusually-long-print-server-n\r\n@PJL ENTER LANGUAGE"},
        {"", nullptr, 113, {}, "@PJL JOBOWNER=\r\n@PJL ENTER LANGUAGE"},
        {"", "", 113, {}, "@PJL JOBOWNER=\r\n@PJL ENTER LANGUAGE"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.model << ", host " << (c.host ? c.host : "(failing)"));
        Device device;
        const ByteVec sent = StartDoc(PLATFORM_Z, 513, "UTC0", 0, 1, c.model, c.host);
        ASSERT_EQ(sent.size(), c.size);
        EXPECT_EQ(ByteVec(sent.end() - c.tail.size(), sent.end()), c.tail);
        const std::string text(sent.begin() + 15, sent.end());
        EXPECT_TRUE(c.model[0] ? text.rfind(c.text, 0) == 0 : text.find(c.text) != std::string::npos) << text;
    }
}

// A custom page carries three more parameters after the paper size; the
// length is the header's; the page's fields go into their parameters; an
// iIs2bit of 2 is one bit per dot; PLATFORM_M never reports the coverage.
TEST(PageStart, PlatformMHeaderAndParameters) {
    const ByteVec customHeader = {0, 0, 0, 0xDC, 0, 0, 0, 0x02, 0, 0, 0, 0x11, 0, 0xCC, 0x5A, 0x5A};
    const ByteVec density3 = {0x00, 0x00, 0x00, 0x0C, 0xFF, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x03};
    const struct {
        uint16_t paperSize;
        ByteVec header;
        std::vector<ByteVec> parameters;
    } cases[] = {
        {9, kHeaderM,
         {Cat({kHeaderM, kPaperSizeParam9}), density3, Cat({LongParam(0x000C, 0x1100), LongParam(0x000D, 0x0480),
                                                          LongParam(0x0010, 1), LongParam(0x0011, 0x1100)})}},
        {0, customHeader,
         {Cat({LongParam(0x0003, 0), LongParam(0x001A, 0), LongParam(0x0018, 0x1234), LongParam(0x0019, 0x0567),
               LongParam(0x0004, 3), LongParam(0x0005, 2), LongParam(0x0006, 4), LongParam(0x0007, 1),
               LongParam(0x0008, 600), LongParam(0x0009, 600), LongParam(0x0016, 0)})}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "paper " << c.paperSize);
        Device device;
        gImageCoverage = 777;
        GDI_START_PAGE_PARAM page = PageParam(c.paperSize);
        page.densityLevel = 3;
        page.iIs2bit = 2;
        page.copies = 3;  // copies, tray, media and resolution each in their parameter
        page.tray = 2;
        page.mediaType = 4;
        page.resolutionX = page.resolutionY = 600;
        EXPECT_EQ(Prnt_StartPage(&page, PLATFORM_M), 1);
        EXPECT_EQ(gImageCoverage, 777u);
        const ByteVec sent = Device::Bytes();
        EXPECT_EQ(sent.size(), c.header[3]);
        EXPECT_EQ(ByteVec(sent.begin(), sent.begin() + 16), c.header);
        for (const ByteVec& parameter : c.parameters)
            EXPECT_NE(std::search(sent.begin(), sent.end(), parameter.begin(), parameter.end()), sent.end());
    }
    gImageCoverage = 0;
}

// Packages of 64 KiB and one of the rest; an exactly full package has no empty follower.
TEST(ImageTransferM, PackagesSplitAt64KiB) {
    for (auto [len, payloads] : {std::make_pair(65536, std::vector<int>{65536}),
                                 std::make_pair(70000, std::vector<int>{65536, 4464}),
                                 std::make_pair(100, std::vector<int>{100})}) {
        ByteVec data(len);
        for (int i = 0; i < len; ++i) data[i] = static_cast<uint8_t>(i * 7 + i / 256);
        Device device;
        ASSERT_EQ(SendJbigPackages(data.data(), len), 1);
        ASSERT_EQ(gWrites.size(), 2 * payloads.size() + 1);
        for (std::size_t i = 0, offset = 0; i < payloads.size(); offset += payloads[i++]) {
            EXPECT_EQ(gWrites[2 * i], LongHeader(16 + payloads[i], 5));
            const auto payload = data.begin() + static_cast<std::ptrdiff_t>(offset);
            EXPECT_TRUE(gWrites[2 * i + 1] == ByteVec(payload, payload + payloads[i]))
                << len << " package " << i;
        }
        EXPECT_EQ(gWrites.back(), LongHeader(16, 6));
    }
}

#if !defined(__SANITIZE_ADDRESS__)
// Runs in a death-test child: caps the address space `headroom` bytes above what
// the process already has, then sends a page of 65528 x 65535 dots (512 MiB raw)
// whose buffers cannot all be had. Every allocation fails before the (tiny)
// source image is read, so reading past it would crash the child.
void SendHugePageWithHeadroom(int platform, std::size_t headroom) {
    ByteVec dots(16, 0);
    GDI_SEND_PAGE_PARAM page = SendParam(dots, 65528, 65535);
    Device device;
    unsigned long pages = 0;
    FILE* statm = std::fopen("/proc/self/statm", "r");
    if (!statm || std::fscanf(statm, "%lu", &pages) != 1) _exit(2);
    const rlim_t limit = pages * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + headroom;
    const rlimit cap{limit, limit};
    if (setrlimit(RLIMIT_AS, &cap) != 0) _exit(2);
    const int result = Prnt_SendPage(&page, platform);
    std::fputs(prntLastError, stderr);
    _exit(result == 0 && gWrites.empty() ? 0 : 1);
}
#endif

TEST(ImageTransferFailure, AllocationFailuresEndThePage) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer's allocator cannot run under an address-space limit";
#else
    // A fresh process: its heap holds no freed blocks the buffers could reuse.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The output buffer (raw / 8: 64 MiB) is the first allocation; the encoder
    // appends to it and reads the bands in place.
    for (int platform : {PLATFORM_C, PLATFORM_Z})
        EXPECT_EXIT(SendHugePageWithHeadroom(platform, 32 << 20), testing::ExitedWithCode(0), "");
#endif
}

}  // namespace
