// State shared by the stream walkers of both framings: position, problems found,
// the document's progress and the page being read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "jbig_image.h"
#include "norvexdecode.h"

// The page between its page start and its page end.
struct OpenPage {
    bool open = false;
    DecodedPage page;
    bool wantBitmap = false;     // the caller asked for bitmaps and the size is allowed
    bool haveImage = false;      // raster image command (C, Z) or JBIG_PARAM_CMD (M) seen
    bool imageDeclared = false;  // a bitmap size was accepted
    uint32_t imageW = 0;         // JBIG bitmap the page commands declare: bits per row
    uint32_t imageH = 0;         // and rows
    bool imageDone = false;      // every byte of the image decoded
    bool imageBad = false;       // a problem in the image was reported

    // PLATFORM_C: stripe height of the raster image command and the checksum due.
    uint32_t stripeHeight = 0;
    bool checksumDue = false;
    uint8_t imageChecksum = 0;
    bool checksumSeen = false;

    // PLATFORM_Z: bands so far, rows they cover, where the next band must start.
    uint32_t bands = 0;
    uint32_t rowsCovered = 0;
    size_t bandsEndAt = 0;

    // PLATFORM_M: the image entity spread over the data packages.
    JbigHeader jbigParam;         // as JBIG_PARAM_CMD sends it
    std::unique_ptr<JbigImage> jbig;
    uint32_t packages = 0;
    size_t lastPayload = 0;
    bool jbigEnded = false;
};

struct Walk {
    Walk(const uint8_t* d, size_t n, const DecodeOptions& o, DecodeResult& r)
        : data(d), size(n), options(o), result(r) {}

    const uint8_t* data;
    size_t size;
    size_t pos = 0;
    const DecodeOptions& options;
    DecodeResult& result;
    bool stopped = false;  // a framing fault: nothing after it can be located

    bool docStarted = false;  // job specification (C, Z) or START_DOC_CMD (M) seen
    bool docEnded = false;    // reset command (C, Z) or END_DOC_CMD (M) seen
    size_t docEndAt = 0;      // offset just after it
    OpenPage page;
};

size_t Remaining(const Walk& w);
bool BytesAt(const Walk& w, size_t offset, const uint8_t* bytes, size_t len);

// A fault the walk can step over; it goes on after it.
void Problem(Walk& w, size_t offset, const std::string& message);
// A fault that leaves the walk without a next command to find.
void Stop(Walk& w, size_t offset, const std::string& message);
void List(Walk& w, size_t offset, const char* name, const std::string& fields);

// Page life: opened by the page specification or START_PAGE_CMD, closed by the
// form feed or END_PAGE_CMD (or the stream's end).
void BeginPage(Walk& w, size_t offset, int pageNum, int copies);
void EndPage(Walk& w, size_t offset);
// Hands the page to the result (and the caller's onPage) without further checks.
void ClosePage(Walk& w);
// Declares the page's JBIG bitmap; false (with the problem reported) when its size is refused.
bool DeclareImage(Walk& w, size_t offset, uint32_t bitsPerRow, uint32_t rows);
// Copies decoded rows into the page bitmap, starting at `firstRow`.
void PlaceRows(Walk& w, const uint8_t* rows, uint32_t firstRow, uint32_t count);

// Common to every platform: what must hold once the whole stream was walked.
void FinishStream(Walk& w);

// The walkers of the two framings.
void WalkShortStream(Walk& w);  // PLATFORM_C and PLATFORM_Z
void WalkLongStream(Walk& w);   // PLATFORM_M

// Envelope items of PLATFORM_C and PLATFORM_Z: UEL, PJL lines, the version text.
// Returns false when the byte at the position starts none of them.
bool WalkEnvelopeItem(Walk& w);
