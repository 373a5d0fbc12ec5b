// Mapping of IPP job attributes to the filter's option keywords.
#include "filter_options.h"

#include <algorithm>
#include <cstring>
#include <strings.h>

#include "common/platform.h"
#include "driver_data.h"
#include "vendor_options.h"

namespace {

bool IsTrue(const char* value) {
    return value != nullptr && (strcasecmp(value, "true") == 0 || strcasecmp(value, "yes") == 0 ||
                                strcasecmp(value, "on") == 0);
}

}  // namespace

int DensityLevel(int darknessConfigured, int printDarkness) {
    const int darkness = std::clamp(darknessConfigured + printDarkness, 0, 100);
    // Five equal bands of 0..100, the middle one (41..60) the printer's normal.
    return darkness * kDensityLevels / 101;
}

std::string FilterOptionText(const pappl_pr_options_t& options, int platform) {
    std::string text;
    const auto add = [&text](const std::string& option) {
        if (!text.empty()) text += ' ';
        text += option;
    };
    const bool twoSided = options.sides == PAPPL_SIDES_TWO_SIDED_LONG_EDGE ||
                          options.sides == PAPPL_SIDES_TWO_SIDED_SHORT_EDGE;
    if (twoSided && platform == PLATFORM_M) {
        add("ManualDuplex=True");
    } else if (twoSided) {
        const bool longEdge = options.sides == PAPPL_SIDES_TWO_SIDED_LONG_EDGE;
        add(longEdge ? "sides=two-sided-long-edge Duplex=DuplexNoTumble"
                     : "sides=two-sided-short-edge Duplex=DuplexTumble");
    }
    add("Density=" + std::to_string(DensityLevel(options.darkness_configured, options.print_darkness)));
    if (std::strcmp(options.media.source, "manual") == 0) add("InputSlot=ManualFeed");
    for (const VendorOption& vendor : kVendorOptions)
        if (IsTrue(cupsGetOption(vendor.attribute, options.num_vendor, options.vendor)))
            add(std::string(vendor.keyword) + "=True");
    return text;
}

void AdjustPageHeader(cups_page_header2_t& header, int platform) {
    if (platform == PLATFORM_M) {
        header.Duplex = CUPS_FALSE;
        header.Tumble = CUPS_FALSE;
    }
}
