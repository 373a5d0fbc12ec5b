// What each controller platform can do, and the printer's own options under
// every name they go by: the one table the filter, mkdrv and the Printer
// Application read a capability or an option keyword from.
#pragma once

#include <iterator>

#include "catalogue/paper_tables.h"
#include "common/platform.h"

struct Resolution {
    int x, y;  // dots per inch across and down
};

struct PlatformTraits {
    int platform;
    const char* keyword;        // the PPD's "PlatForm" entry (the filter compares it ignoring case)
    bool duplexer;              // the printer turns the sheet itself
    bool twoSidedByHand;        // "SupportManualDuplex": the filter makes two-sided jobs manual duplex
    bool manualDuplex;          // the "ManualDuplex" option: fronts, a pause, then the turned backs
    Resolution resolutions[3];  // what the printer prints at, 600 dpi first; {0, 0} ends the list
    bool twoBit;                // 2 bits a dot at 1200 dpi quality ("DPI1200")
    bool fineMode;              // the printer's fine print mode ("FineMode")
    int bandHeight;             // lines per JBIG stream; 0: the page is one stream
    const PAPER_SIZE_INFO* paperTable;  // of a model the list lacks, named only by its "PlatForm"
};

// duplexer, twoSidedByHand, manualDuplex, resolutions, twoBit, fineMode, bandHeight, paperTable
inline constexpr PlatformTraits kPlatformTraits[] = {
    {PLATFORM_C, "PLATFORM_C", true,  false, false, {{600, 600}, {1200, 600}, {1200, 1200}}, false, false,   0, gPaperSizeArray_Orvane},
    {PLATFORM_Z, "PLATFORM_Z", false, true,  true,  {{600, 600}},                            false, true,  256, gPaperSizeArray_Dolvek_Serith},
    {PLATFORM_M, "PLATFORM_M", false, false, true,  {{600, 600}},                            true,  false,   0, gPaperSizeArray_Lurran_Tessik},
};

// The row of a platform in kPlatformTraits, or -1 for PLATFORM_NONE and
// unknown codes. (An index, not a pointer: compilers with sanitizers do not
// take a global's address compared with nullptr as a constant.)
constexpr int TraitsRow(int platform) {
    for (int row = 0; row < static_cast<int>(std::size(kPlatformTraits)); ++row)
        if (kPlatformTraits[row].platform == platform) return row;
    return -1;
}

// The traits of a platform, or nullptr for PLATFORM_NONE and unknown codes.
inline const PlatformTraits* TraitsOf(int platform) {
    const int row = TraitsRow(platform);
    return row < 0 ? nullptr : &kPlatformTraits[row];
}

// The platform whose "PlatForm" keyword is `text` in any case, else PLATFORM_NONE.
int PlatformOfKeyword(const char* text);

inline const char* PlatformKeyword(int platform) {
    const PlatformTraits* traits = TraitsOf(platform);
    return traits != nullptr ? traits->keyword : nullptr;
}

inline bool HasDuplexer(int platform) {
    const PlatformTraits* traits = TraitsOf(platform);
    return traits != nullptr && traits->duplexer;
}

// Whether the printer prints at x by y dots per inch.
constexpr bool TakesResolution(int platform, int x, int y) {
    const int row = TraitsRow(platform);
    if (row < 0) return false;
    for (const Resolution& resolution : kPlatformTraits[row].resolutions)
        if (resolution.x != 0 && resolution.x == x && resolution.y == y) return true;
    return false;
}

// Whether the printer prints 1200 dots an inch across, respectively down: a
// raster of that resolution there has twice the dots of the 600 dpi image.
constexpr bool Prints1200Across(int platform) {
    const int row = TraitsRow(platform);
    if (row < 0) return false;
    for (const Resolution& resolution : kPlatformTraits[row].resolutions)
        if (resolution.x == 1200) return true;
    return false;
}
constexpr bool Prints1200Down(int platform) {
    const int row = TraitsRow(platform);
    if (row < 0) return false;
    for (const Resolution& resolution : kPlatformTraits[row].resolutions)
        if (resolution.y == 1200) return true;
    return false;
}

// The printer's options: a flag the filter reads from the job ("keyword=True").
struct VendorOption {
    const char* keyword;     // the PPD option and the filter's job option
    const char* label;       // what a person reads, in the PPD and the app's web pages (at most 80 bytes)
    const char* attribute;   // the app's IPP name (NAME-default, NAME-supported); nullptr: the app
                             // sets the keyword from a standard attribute (copies, sides)
    const char* help;        // a few words for the app's web pages (all of them fit one PAPPL string)
    bool PlatformTraits::*appliesTo;  // the trait that gives it an effect; nullptr: every platform
    bool inEveryPpd;         // the PPDs offer it on every platform all the same, as they always have
};

inline constexpr VendorOption kVendorOptions[] = {
    {"TonerMode", "Toner Save", "toner-save", "Prints at the lightest density to save toner.", nullptr, false},
    {"FeedLongEdge", "Feed A5 Long Edge First", "feed-a5-long-edge", "For A5 paper loaded long edge first.",
     nullptr, false},
    // It only moves the blank back of an odd manual-duplex job, so only
    // where the filter does manual duplex does it change anything.
    {"outputorder", "Reverse Output Order", "reverse-order",
     "Two-sided by hand: an odd last page's blank back goes last.", &PlatformTraits::manualDuplex, true},
    {"NegativePrint", "Negative Print", "negative-print", "Prints pages inverted, white on black.", nullptr, false},
    {"ImageRotation", "Rotate Pages 180 Degrees", "rotate-180", "Prints every page upside down.", nullptr, false},
    {"Collate", "Collate Copies", nullptr, nullptr, nullptr, false},
    {"ManualDuplex", "Manual Two-Sided Printing", nullptr, nullptr, &PlatformTraits::manualDuplex, false},
    {"DPI1200", "1200 DPI Quality", "dpi1200-mode", "Two bits a dot: smoother greys, larger jobs.",
     &PlatformTraits::twoBit, false},
    {"FineMode", "Fine Mode", "fine-mode", "The printer's own fine print mode.", &PlatformTraits::fineMode, false},
};

// Whether the option changes anything on the platform.
inline bool Applies(const VendorOption& option, int platform) {
    const PlatformTraits* traits = TraitsOf(platform);
    return traits != nullptr && (option.appliesTo == nullptr || traits->*option.appliesTo);
}

// Whether the PPDs of every platform carry the option (in their common part).
inline bool InEveryPpd(const VendorOption& option) {
    return option.appliesTo == nullptr || option.inEveryPpd;
}

// Every platform prints at 600 dpi, the resolution the PPDs declare for all.
static_assert(TakesResolution(PLATFORM_C, 600, 600) && TakesResolution(PLATFORM_Z, 600, 600) &&
              TakesResolution(PLATFORM_M, 600, 600));
