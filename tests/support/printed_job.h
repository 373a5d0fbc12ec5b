// End-to-end runs of the filter whose printer stream is checked by the
// decoder (norvexdecode --check) and decoded page by page.
#pragma once

#include <string>
#include <vector>

#include "norvexdecode.h"
#include "support/filter_runner.h"
#include "support/ppd_fixture.h"
#include "support/raster_writer.h"

// The filter run on `pages` (dir/job.ras, on standard input) with the PPD of
// `ppd` (dir/printer.ppd) and the options text.
FilterInvocation Job(const TempDir& dir, const PPDFixture& ppd, const std::vector<RasterPage>& pages,
                     const std::string& options = "");

struct PrintedJob {
    FilterRun run;
    bool checked = false;      // norvexdecode --check accepted the stream
    std::string checkOutput;   // its summary line, or its complaint
    DecodeResult decoded;
    std::string listing;       // one line per command, as norvexdecode lists them

    // Page numbers in the order the printer receives the pages.
    std::vector<int> PageOrder() const;
    // Listing lines whose command name is `name` (e.g. "PAGE_SPEC").
    std::vector<std::string> Commands(const std::string& name) const;
    // Whether a listing line of command `name` shows `fields`.
    bool Lists(const std::string& name, const std::string& fields) const;
};

// Runs the filter and decodes what it wrote.
PrintedJob PrintJob(const FilterInvocation& invocation);

// Decodes a stream and returns its listing (one line per command).
std::string Listing(const std::vector<uint8_t>& stream, DecodeResult* decoded = nullptr,
                    DecodeOptions options = DecodeOptions());

// The dots a grey page becomes: the reference halftone of `grey` (w x h bytes).
std::vector<uint8_t> ExpectedDots(const std::vector<uint8_t>& grey, unsigned w, unsigned h,
                                  int platform, int negative = 0, int dpi1200 = 0);

// The grey page the filter should build from a raster page for a printer image
// of w x h: each line's middle w bytes, or the line at the left padded white;
// rows past the raster white.
std::vector<uint8_t> ExpectedGrey(const RasterPage& page, unsigned w, unsigned h);

// The decoded page's bitmap, rows of (width * bitsPerDot / 8) bytes.
std::vector<uint8_t> PageBits(const DecodedPage& page);
