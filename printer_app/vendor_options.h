// The printer's own options, which IPP has no name for: one row each, read by
// the driver data (who offers it), the job ticket (the filter's keyword) and
// the web pages (label and help).
#pragma once

#include "common/platform.h"

struct VendorOption {
    const char* attribute;  // IPP name: NAME-default and NAME-supported, a job's NAME
    const char* keyword;    // the filter option set to True when a job asks for it
    unsigned platforms;     // bit (1 << platform) of each platform that offers it
    const char* label;      // what a person reads in the web pages
    const char* help;       // a few words on what it does (the help of all must fit one PAPPL string)
};

inline constexpr unsigned kEveryPlatform = 1u << PLATFORM_C | 1u << PLATFORM_Z | 1u << PLATFORM_M;

inline constexpr VendorOption kVendorOptions[] = {
    {"toner-save", "TonerMode", kEveryPlatform, "Toner Save",
     "Prints at the lightest density to save toner."},
    {"fine-mode", "FineMode", 1u << PLATFORM_Z, "Fine Mode", "The printer's own fine print mode."},
    {"dpi1200-mode", "DPI1200", 1u << PLATFORM_M, "1200 DPI Quality",
     "Two bits a dot: smoother greys, larger jobs."},
    {"negative-print", "NegativePrint", kEveryPlatform, "Negative Print",
     "Prints pages inverted, white on black."},
    {"rotate-180", "ImageRotation", kEveryPlatform, "Rotate 180\u00b0", "Prints every page upside down."},
    {"feed-a5-long-edge", "FeedLongEdge", kEveryPlatform, "Feed A5 Long Edge First",
     "For A5 paper loaded long edge first."},
    {"reverse-order", "outputorder", kEveryPlatform, "Reverse Output Order",
     "Two-sided by hand: an odd last page's blank back goes last."},
};

inline bool IsOffered(const VendorOption& option, int platform) {
    return platform >= 0 && platform < 32 && (option.platforms >> platform & 1u) != 0;
}
