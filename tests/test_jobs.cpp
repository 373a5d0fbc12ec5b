// Whole jobs: the filter as CUPS starts it (arguments, input, PPD, page loop,
// exit status); the order in which the printer gets the pages for copies,
// collation and manual duplex; jobs that cannot print as sent: the printer
// still gets only whole, valid commands, CUPS gets the reason and status 1, no
// page is lost. No job leaves a spool file behind.
#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include "support/job.h"

namespace {

// A small page with ink all over, different on every dot.
RasterPage Noise(unsigned w = 1216, unsigned h = 1200) {
    RasterPage p;
    p.width = w;
    p.height = h;
    p.pageW = p.pageH = 144;
    p.pixel = [](unsigned x, unsigned y) { return static_cast<uint8_t>((x * 7919u + y * 104729u) >> 3); };
    return p;
}

// A printer known by its "PlatForm" entry, with the text that tells the user to turn the pages.
PPDFixture Printer(const char* platform, const char* manualDuplexText) {
    PPDFixture f;
    f.platform = platform;
    f.manualDuplexText = manualDuplexText;
    return f;
}

// A listed model, which keeps its own platform whatever its PPD says; or
// (nullptr) a model not in the list, which takes the PPD's in any case.
PPDFixture Model(const char* modelName) {
    PPDFixture f = Printer(modelName ? "PLATFORM_M" : "platform_z", "Turn the pages over");
    if (modelName) f.modelName = modelName;
    return f;
}

class Jobs : public ::testing::Test {
protected:
    JobRun Checked(const Job& job) {
        const JobRun run = ::Print(job);
        EXPECT_EQ(std::string(run.out.begin(), run.out.end()).find("Fail"), std::string::npos)
            << "a failure text in the printer stream";
        return run;
    }
    // `pages` pages of `copies` copies, page i two-sided where sides[i] is '2',
    // from a file named as the last argument; every page is logged with its copies.
    JobRun PrintPages(int pages, const std::string& options, unsigned copies, const PPDFixture& ppd,
                      const std::string& sides = "") {
        RasterPage page = Noise();
        page.copies = copies;
        std::vector<RasterPage> all(pages, page);
        for (std::size_t i = 0; i < sides.size(); ++i) all[i].duplex = sides[i] == '2';
        Job job = PrinterJob(dir, ppd, all, options);
        job.inProcess = true;  // no pause before the backs of manual duplex
        job.args.push_back(job.input);
        job.input.clear();
        const JobRun run = Checked(job);
        EXPECT_EQ(run.status, 0) << run.err;
        for (int i = 1; i <= pages; ++i)
            EXPECT_TRUE(run.HasLine("PAGE: " + std::to_string(i) + " " + std::to_string(copies))) << run.err;
        EXPECT_EQ(run.errLines.back(), "INFO: Ready to print.");
        return run;
    }
    void TearDown() override {
        EXPECT_TRUE(std::filesystem::is_empty(dir.File("spool"))) << "a spool file was left behind";
    }
    TempDir dir;
};
using FilterEntry = Jobs;
using CopiesAndDuplex = Jobs;
using JobFailures = Jobs;

// A job that cannot be printed gets its reason and no printer byte.
TEST_F(FilterEntry, RefusedJobsPrintNothing) {
    const Job good = PrinterJob(dir, PPDFixture{}, {Noise(600, 200)});
    auto with = [&](const std::function<void(Job&)>& change) {
        Job inv = good;
        change(inv);
        return inv;
    };
    std::ofstream(dir.File("text.ras")) << "%!PS-Adobe-3.0\nshowpage\n";
    PPDFixture anonymous;
    anonymous.modelName = "";
    PPDFixture unknown;
    unknown.platform = "PLATFORM_X";  // a model not in the list, and no usable platform
    const std::string usage = "ERROR: job-id user title copies options [file]";
    const std::string noHeader = "ERROR: No pages found!";
    struct Case {
        const char* what;
        Job inv;
        std::string line;         // the reason; "" when only counted
        bool pagesLooked = true;  // the page loop ran and found none
    };
    std::vector<Case> cases = {
        {"4 arguments", with([](Job& i) { i.args.resize(4); }), usage, false},
        {"7 arguments", with([](Job& i) { i.args.resize(7, "x"); }), usage, false},
        {"unreadable file", with([&](Job& i) { i.args.push_back(dir.File("missing.ras")); }),
         "ERROR: Unable to open raster file - : No such file or directory", false},
        {"empty input", with([](Job& i) { i.input = "/dev/null"; }), noHeader},
        {"foreign input", with([&](Job& i) { i.input = dir.File("text.ras"); }), noHeader},
        {"no PPD variable", with([](Job& i) { i.ppd.clear(); }), ""},
        {"no PPD file", with([&](Job& i) { i.ppd = dir.File("nowhere.ppd"); }), ""},
        {"no model name", with([&](Job& i) { i.ppd = WritePPD(dir.File("anon.ppd"), anonymous); }), ""},
        {"unknown model, no platform",
         with([&](Job& i) { i.ppd = WritePPD(dir.File("unknown.ppd"), unknown); }), ""},
    };
    // Inconsistent page headers: a line longer than libcups checks, 16 bits, colour.
    RasterPage wideLine = Noise(600, 200), sixteenBit = Noise(600, 200), color = Noise(600, 200);
    wideLine.bytesPerLine = 2'000'000'000;
    wideLine.linesWritten = 0;
    sixteenBit.bitsPerColor = sixteenBit.bitsPerPixel = 16;
    color.colorSpace = CUPS_CSPACE_RGB;
    color.bitsPerPixel = 24;
    for (const RasterPage& bad : {wideLine, sixteenBit, color}) {
        const std::string path = dir.File("bad" + std::to_string(cases.size()) + ".ras");
        EXPECT_TRUE(WriteRaster(path, {bad}));
        cases.push_back({"inconsistent header", with([&](Job& i) { i.input = path; }), ""});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const JobRun run = Execute(c.inv);
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(run.out.empty());
        EXPECT_EQ(run.CountLinesStartingWith("PAGE:"), 0);
        EXPECT_TRUE(c.line.empty() || run.HasLine(c.line)) << run.err;
        EXPECT_EQ(run.HasLine("ERROR: No pages found!"), c.pagesLooked) << run.err;
        EXPECT_TRUE(!c.line.empty() || run.CountLinesStartingWith("ERROR: ") == 2) << run.err;  // reason, no pages
    }
}

// One document whatever the copies: collated copies are sent again from the
// spool, uncollated ones are made by the printer. Manual duplex sends the
// fronts, the command, then the backs from the last; an odd job gets a blank
// back where the output order says; collated copies repeat the fronts, then
// the backs. The PPD's instruction (or a bare line) tells the user to turn
// the pages. Printers without a duplexer: pages rendered two-sided become
// manual duplex where the PPD takes it (1 and 3, the command, a blank back for
// 3, then 2) and print one-sided otherwise (PLATFORM_M), turned like any
// front. The first page's sides hold for the whole job.
TEST_F(CopiesAndDuplex, PagesComeInTheOrderOfTheOptions) {
    const struct {
        const char *platform, *support, *sides;  // SupportManualDuplex; a page each, '2': rendered two-sided
        const char* options;
        unsigned copies;
        std::vector<int> order;  // PLATFORM_M's pages are numbered as they come
        int pageCopies;
        const char* command;  // the manual duplex command; nullptr: none
        std::size_t fronts;   // pages before it; 0: not compared
        std::size_t second;   // where page 2 goes, the same as page 1; 0: not compared
        const char* instruction = "Turn the pages over";
    } cases[] = {
        {"PLATFORM_C", "", "11", "Collate=True", 3, {1, 2, 1, 2, 1, 2}, 1, nullptr, 0, 0},
        {"PLATFORM_C", "", "11", "", 3, {1, 2}, 3, nullptr, 0, 0},
        {"PLATFORM_C", "", "1111", "ManualDuplex=true", 1, {1, 3, 4, 2}, 1, "MANUAL_DUPLEX", 2, 0},
        {"PLATFORM_C", "", "11111", "ManualDuplex=true", 1, {1, 3, 5, 6, 4, 2}, 1, "MANUAL_DUPLEX", 3, 0},
        {"PLATFORM_C", "", "11111", "ManualDuplex=true outputorder=true", 1, {1, 3, 5, 4, 2, 6}, 1, "MANUAL_DUPLEX",
         3, 0},
        {"PLATFORM_C", "", "1", "ManualDuplex=true", 1, {1, 2}, 1, "MANUAL_DUPLEX", 1, 0},
        {"PLATFORM_C", "", "111", "ManualDuplex=true Collate=true", 2, {1, 3, 1, 3, 4, 2, 4, 2}, 1, "MANUAL_DUPLEX", 4,
         0},
        {"PLATFORM_C", "", "11", "ManualDuplex=true", 1, {1, 2}, 1, "MANUAL_DUPLEX", 1, 0, ""},
        {"PLATFORM_M", "True", "222", "", 1, {1, 2, 3, 4}, 1, "MANUAL_DUPLEX_CMD", 0, 3},
        {"PLATFORM_M", "", "222", "", 1, {1, 2, 3}, 1, nullptr, 0, 1},
        {"PLATFORM_Z", "true", "12", "", 1, {1, 2}, 1, nullptr, 0, 0},
        {"PLATFORM_Z", "true", "211", "", 1, {1, 3, 4, 2}, 1, "MANUAL_DUPLEX", 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.platform << " " << c.sides << ", " << c.options << ", " << c.copies
                                        << " copies, SupportManualDuplex " << c.support);
        PPDFixture ppd = Printer(c.platform, c.instruction);
        ppd.supportManualDuplex = c.support;
        const JobRun job = PrintPages(static_cast<int>(std::strlen(c.sides)), c.options, c.copies, ppd, c.sides);
        ASSERT_EQ(job.PageOrder(), c.order);
        for (const DecodedPage& page : job.decoded.pages) EXPECT_EQ(page.copies, c.pageCopies);
        EXPECT_EQ(job.Commands("RESET").size(), std::strcmp(c.platform, "PLATFORM_M") ? 1u : 0u);  // one document
        for (const char* command : {"MANUAL_DUPLEX", "MANUAL_DUPLEX_CMD"})
            EXPECT_EQ(job.Commands(command).size(), c.command && !std::strcmp(c.command, command) ? 1u : 0u);
        EXPECT_EQ(job.HasLine(std::string("INFO:") + c.instruction), c.command != nullptr);
        if (c.second) {
            EXPECT_EQ(PageBits(job.decoded.pages[0]), PageBits(job.decoded.pages[c.second])) << "a page turned";
        }
        if (c.fronts == 0) continue;
        const std::size_t at = std::stoul(job.Commands(c.command).at(0));
        EXPECT_EQ(std::count_if(job.decoded.pages.begin(), job.decoded.pages.end(),
                                [&](const DecodedPage& page) { return page.offset < at; }),
                  static_cast<std::ptrdiff_t>(c.fronts));
    }
}

// Pages the printer cannot print are left out whole (no page start, no PAGE
// line) with their reason, the pages around them print and the job fails: a
// page too large to hold or whose PPD margins leave nothing, one rendered at a
// resolution the printer does not print (never printed at the wrong scale), a
// raster that stops early (the page is closed and the document ended). Header
// and option values out of range are brought into what the printer takes, with
// a warning: any non-zero boolean is on (the duplex gives a blank back), copies
// of 0 or 65537 (1 in 16 bits: re-sent for ever if taken whole), density 9. The
// queue's default density (set in the PPD) counts on every platform; the job's
// own option wins.
TEST_F(JobFailures, PagesAndValuesThePrinterCannotTake) {
    RasterPage huge = Noise(200, 200), truncated = Noise(), sevens = Noise(), many = Noise(), tiny = Noise(1250, 100);
    huge.pageW = huge.pageH = 5000;  // 41666 x 41666 dots at 600 dpi
    tiny.pageW = 150;
    tiny.pageH = 300;
    truncated.linesWritten = 10;
    sevens.edit = [](cups_page_header2_t& h) {
        const unsigned seven = 7;
        std::memcpy(&h.Duplex, &seven, sizeof seven);
        std::memcpy(&h.Tumble, &seven, sizeof seven);
        std::memcpy(&h.ManualFeed, &seven, sizeof seven);
        std::memcpy(&h.Orientation, &seven, sizeof seven);
        h.NumCopies = 0;
    };
    many.copies = 65537;
    const auto at = [](unsigned x, unsigned y) {
        RasterPage odd = Noise(x * 2, y * 2);
        odd.resX = x;
        odd.edit = [y](cups_page_header2_t& h) { h.HWResolution[1] = y; };
        return std::vector<RasterPage>{Noise(), odd, Noise()};
    };
    const std::string refused = "ERROR: Page 2 was rendered at ";
    const std::string lacks = " dpi, a resolution this printer does not print";
    const char *kavrin = "Norvex Kavrin Series", *lurran = "Norvex Lurran 3010 Series";
    const char* orvane = "Norvex Orvane 210 Series";
    const struct {
        const char* model;  // nullptr: a PLATFORM_Z printer of no listed model
        std::vector<RasterPage> pages;
        std::vector<int> order;          // page numbers the printer gets
        std::vector<std::string> lines;  // the start of every ERROR line, and WARNING lines
        std::string options = "";
        const char* density = "2";                               // the PPD's default
        std::vector<std::pair<const char*, const char*>> listed = {};  // command and fields
        const char* margins = "0 0 0 0";                               // the PPD's, points
    } cases[] = {
        {nullptr, {Noise(), huge, Noise()}, {1, 2},
         {"ERROR: Page 2 of 5000 x 5000 points cannot be printed: its image exceeds 256 MiB"}},
        {nullptr, {huge}, {}, {"ERROR: Page 1 of 5000 x 5000 points cannot be printed: its image exceeds 256 MiB",
                               "ERROR: No pages found!"}},
        {nullptr, {tiny}, {},
         {"ERROR: Page 1 of 150 x 300 points cannot be printed: its margins leave no printable area",
          "ERROR: No pages found!"},
         "", "2", {}, "100 100 100 100"},
        {kavrin, at(300, 300), {1, 2}, {refused + "300 x 300" + lacks}},
        {kavrin, at(1200, 1200), {1, 2}, {refused + "1200 x 1200" + lacks}},
        {lurran, at(1200, 600), {1, 2}, {refused + "1200 x 600" + lacks}},
        {lurran, at(600, 300), {1, 2}, {refused + "600 x 300" + lacks}},
        {orvane, at(300, 300), {1, 2}, {refused + "300 x 300" + lacks}},
        {orvane, at(1200, 1200), {1, 2, 3}, {}},
        {nullptr, {truncated}, {1}, {"ERROR: Page 1 ended after 10 of its 1200 raster lines"}},
        {orvane, {sevens}, {1, 2},
         {"WARNING: Copy count 0 is outside 1 to 9999; printing 1",
          "WARNING: Density 9 is outside 0 to 4; printing with 4"},
         "Density=9", "2", {{"DENSITY", "level=4"}, {"PAGE_SPEC", "copies=1 "}, {"MACHINE_DUPLEX", ""}}},
        {nullptr, {many}, {1}, {"WARNING: Copy count 65537 is outside 1 to 9999; printing 9999"}, "", "2",
         {{"PAGE_SPEC", "copies=9999 "}}},
        {orvane, {Noise()}, {1}, {}, "", "4", {{"DENSITY", "level=4"}}},
        {orvane, {Noise()}, {1}, {}, "Density=0", "4", {{"DENSITY", "level=0"}}},
        {lurran, {Noise()}, {1}, {}, "", "4", {{"START_PAGE_CMD", " DENSITY=4"}}},
        {lurran, {Noise()}, {1}, {}, "Density=0", "4", {{"START_PAGE_CMD", " DENSITY=0"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "row " << &c - cases);
        PPDFixture ppd = Model(c.model);
        ppd.density = c.density;
        ppd.hwMargins = c.margins;
        const Job printerJob = PrinterJob(dir, ppd, c.pages, c.options);
        const JobRun job = c.order.empty() ? Execute(printerJob) : Checked(printerJob);
        const int errors = static_cast<int>(std::count_if(
            c.lines.begin(), c.lines.end(), [](const std::string& line) { return line.rfind("ERROR:", 0) == 0; }));
        const bool failed = errors > 0;
        EXPECT_EQ(job.status, failed ? 1 : 0) << job.err;
        EXPECT_EQ(job.PageOrder(), c.order);
        EXPECT_EQ(job.out.empty(), c.order.empty());
        if (failed) {
            EXPECT_EQ(job.CountLinesStartingWith("PAGE:"), static_cast<int>(c.order.size()));
        }
        for (const std::string& line : c.lines) EXPECT_EQ(job.CountLinesStartingWith(line), 1) << line;
        EXPECT_EQ(job.CountLinesStartingWith("ERROR:"), errors) << job.err;
        EXPECT_EQ(job.HasLine("INFO: Ready to print."), !failed) << job.err;
        for (const auto& [command, fields] : c.listed) EXPECT_TRUE(job.Lists(command, fields)) << job.listing;
    }
    EXPECT_EQ(Checked(PrinterJob(dir, PPDFixture{}, {truncated})).Commands("RESET").size(), 1u);
}

// The printer's connection is gone before the job is sent (a pipe whose reader
// has gone: the filter must not die of SIGPIPE), or closes during the document
// start or while page 2 goes out: status 1, one sentence names what was being
// sent, the filter offers the printer nothing more and leaves no spool file.
TEST_F(JobFailures, ClosedConnectionEndsTheJobWithItsError) {
    enum When { kBeforeTheJob, kDocumentStart, kPageTwo };
    for (auto [model, options] : {std::make_pair("Norvex Orvane 210 Series", "Collate=True"),
                                  std::make_pair("Norvex Kavrin Series", "ManualDuplex=true"),
                                  std::make_pair("Norvex Lurran 3010 Series", "")})
        for (const When when : {kBeforeTheJob, kDocumentStart, kPageTwo}) {
            SCOPED_TRACE(testing::Message() << model << ", case " << when);
            RasterPage page = Noise();
            page.copies = when == kBeforeTheJob ? 2 : 1;
            Job job = PrinterJob(dir, Model(model), {page, page, page}, when == kBeforeTheJob ? options : "");
            job.closedOutput = when == kBeforeTheJob;
            job.inProcess = !job.closedOutput;
            if (job.inProcess) {
                const JobRun whole = Print(job);
                ASSERT_EQ(whole.decoded.pages.size(), 3u);
                job.outputLimit = when == kPageTwo ? whole.decoded.pages[1].offset + 40 : 20;
            }
            const JobRun run = Execute(job);
            EXPECT_EQ(run.status, 1);
            EXPECT_TRUE(run.HasLine(when == kPageTwo ? "ERROR: The printer connection closed while page 2 was sent."
                                                     : "ERROR: The printer connection closed while the start of "
                                                       "the job was sent."))
                << run.err;
            EXPECT_EQ(run.CountLinesStartingWith("ERROR:"), 1) << run.err;
            EXPECT_EQ(run.CountLinesStartingWith("PAGE:"), when == kPageTwo ? 2 : 0) << run.err;
            EXPECT_EQ(run.writesAfterClose, 0) << "the filter wrote on after the failed write";
        }
}

// Killed outright in the middle of a manual-duplex job: the spool files were
// never in the folder by name.
TEST_F(JobFailures, KilledFilterLeavesNoSpoolFile) {
    const Job job = PrinterJob(dir, Model("Norvex Kavrin Series"), {Noise(), Noise()}, "ManualDuplex=true");
    const std::string bytes = RasterBytes(job);
    FilterProcess filter(job);
    ASSERT_TRUE(filter.Feed(bytes.data(), bytes.size() / 2));
    ASSERT_TRUE(filter.WaitForLine("PAGE: 1"));
    filter.Signal(SIGKILL);
    EXPECT_EQ(filter.Finish().status, 128 + SIGKILL);
}

// A spool file that reaches the size limit: copy 1 prints whole, the cut
// copy is never sent, the document is closed, the job fails.
TEST_F(JobFailures, SpoolFileAtItsSizeLimitSendsNoCutCopy) {
    RasterPage page = Noise();
    page.copies = 2;
    Job job = PrinterJob(dir, Model("Norvex Orvane 210 Series"), {page, page}, "Collate=True");
    job.args[3] = "2";
    job.inProcess = true;  // under this process's file size limit
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const rlimit limit{64 * 1024, saved.rlim_max};
    setrlimit(RLIMIT_FSIZE, &limit);
    const JobRun run = Print(job);  // the stream decodes whole
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, SIG_DFL);

    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.HasLine("ERROR: Unable to write a spool file (File too large); collated copies and the "
                            "backs of manual duplex are not printed"))
        << run.err;
    EXPECT_EQ(run.decoded.pages.size(), 2u);
}

}  // namespace
