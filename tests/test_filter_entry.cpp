// The filter as CUPS starts it: arguments, input, PPD, page loop, exit status.
#include <fstream>
#include <functional>
#include <gtest/gtest.h>

#include "support/job.h"

namespace {

// A small page keeps the runs fast; the loop does not care about the size.
RasterPage SmallPage() {
    RasterPage p;
    p.width = 600;
    p.height = 200;
    p.pageW = 72;
    p.pageH = 24;
    return p;
}

// A job that cannot be printed gets its reason and no printer byte.
TEST(FilterEntry, RefusedJobsPrintNothing) {
    TempDir dir;
    const Job good = PrinterJob(dir, PPDFixture{}, {SmallPage()});
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
    RasterPage wideLine = SmallPage(), sixteenBit = SmallPage(), color = SmallPage();
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

TEST(FilterEntry, EveryPageIsLoggedAndCounted) {
    TempDir dir;
    RasterPage page = SmallPage();
    page.copies = 2;
    const Job fromStdin = PrinterJob(dir, PPDFixture{}, {page, page, page});
    Job fromFile = fromStdin;
    fromFile.input.clear();
    fromFile.args.push_back(fromStdin.input);
    for (const Job& job : {fromStdin, fromFile}) {
        const JobRun run = Execute(job);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(run.HasLine("PAGE: 1 2"));
        EXPECT_TRUE(run.HasLine("PAGE: 3 2"));
        EXPECT_EQ(run.CountLinesStartingWith("PAGE:"), 3);
        EXPECT_TRUE(run.HasLine("INFO: Printing page 2, 64% complete..."));
        EXPECT_EQ(run.errLines.back(), "INFO: Ready to print.");
    }
}

}  // namespace
