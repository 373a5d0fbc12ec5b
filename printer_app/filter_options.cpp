// Mapping of IPP job attributes to the renderers' arguments and the filter's option keywords.
#include "filter_options.h"

#include <algorithm>
#include <cstring>
#include <strings.h>

#include "catalogue/platform_traits.h"
#include "driver_data.h"

namespace {

bool IsTrue(const char* value) {
    return value != nullptr && (strcasecmp(value, "true") == 0 || strcasecmp(value, "yes") == 0 ||
                                strcasecmp(value, "on") == 0);
}

// Renderers draw square dots: the app offers the printer's square resolutions.
bool TakesSquareResolution(const NorvexModel& model, int xdpi, int ydpi) {
    return xdpi == ydpi && TakesResolution(model.platform, xdpi, ydpi);
}

// The finest square resolution of the printer.
int FinestSquareResolution(const NorvexModel& model) {
    int finest = 0;
    for (const Resolution& resolution : TraitsOf(model.platform)->resolutions)
        if (resolution.x == resolution.y && resolution.x > finest) finest = resolution.x;
    return finest;
}

// A printer without a duplexer whose filter does not turn two-sided jobs into
// manual duplex by itself: two-sided printing is the ManualDuplex option.
bool TwoSidedIsManualDuplexOption(int platform) {
    const PlatformTraits* traits = TraitsOf(platform);
    return traits != nullptr && !traits->duplexer && !traits->twoSidedByHand && traits->manualDuplex;
}

}  // namespace

bool ReadJobTicket(pappl_job_t* job, const pappl_pr_options_t& options, const NorvexModel& model,
                   JobTicket& ticket, std::string& why) {
    ticket = JobTicket{};
    ticket.copies = std::clamp(options.copies, 1, 999);
    ticket.twoSided = options.sides == PAPPL_SIDES_TWO_SIDED_LONG_EDGE ||
                      options.sides == PAPPL_SIDES_TWO_SIDED_SHORT_EDGE;
    // PAPPL 1.3.1's print options do not carry it.
    const char* handling = ippGetString(papplJobGetAttribute(job, "multiple-document-handling"), 0, nullptr);
    const bool uncollated = handling != nullptr && std::strcmp(handling, "separate-documents-uncollated-copies") == 0;
    ticket.collate = !uncollated || ticket.twoSided;

    // PAPPL 1.3.1 hands over only a single range; a list is read here whole.
    if (ipp_attribute_t* ranges = papplJobGetAttribute(job, "page-ranges")) {
        int previousLast = 0;
        for (int i = 0; i < ippGetCount(ranges); ++i) {
            int last = 0;
            const int first = ippGetRange(ranges, i, &last);
            if (first < 1 || last < first || first <= previousLast) {
                why = "the page ranges must be ascending and must not overlap";
                return false;
            }
            ticket.pageRanges.emplace_back(first, last);
            previousLast = last;
        }
    }

    // PAPPL takes the middle resolution for normal quality, 1200 dpi on
    // PLATFORM_C: the printer's own default is 600 unless the job asks for
    // high quality.
    if (papplJobGetAttribute(job, "printer-resolution") != nullptr) {
        if (!TakesSquareResolution(model, options.printer_resolution[0], options.printer_resolution[1])) {
            why = "the printer does not print at " + std::to_string(options.printer_resolution[0]) + "x" +
                  std::to_string(options.printer_resolution[1]) + " dpi";
            return false;
        }
        ticket.xdpi = options.printer_resolution[0];
        ticket.ydpi = options.printer_resolution[1];
    } else if (options.print_quality == IPP_QUALITY_HIGH) {
        ticket.xdpi = ticket.ydpi = FinestSquareResolution(model);
    }
    return true;
}

bool PageSelected(const JobTicket& ticket, unsigned page) {
    if (ticket.pageRanges.empty()) return true;
    for (const auto& [first, last] : ticket.pageRanges)
        if (page >= static_cast<unsigned>(first) && page <= static_cast<unsigned>(last)) return true;
    return false;
}

std::string PageListText(const JobTicket& ticket) {
    std::string text;
    for (const auto& [first, last] : ticket.pageRanges)
        text += (text.empty() ? "" : ",") + std::to_string(first) + "-" + std::to_string(last);
    return text;
}

int DensityLevel(int darknessConfigured, int printDarkness) {
    const int darkness = std::clamp(darknessConfigured + printDarkness, 0, 100);
    // Five equal bands of 0..100, the middle one (41..60) the printer's normal.
    return darkness * kDensityLevels / 101;
}

std::string FilterOptionText(const pappl_pr_options_t& options, const JobTicket& ticket, int platform) {
    std::string text;
    const auto add = [&text](const std::string& option) {
        if (!text.empty()) text += ' ';
        text += option;
    };
    if (ticket.twoSided && TwoSidedIsManualDuplexOption(platform)) {
        add("ManualDuplex=True");
    } else if (ticket.twoSided) {
        const bool longEdge = options.sides == PAPPL_SIDES_TWO_SIDED_LONG_EDGE;
        add(longEdge ? "sides=two-sided-long-edge Duplex=DuplexNoTumble"
                     : "sides=two-sided-short-edge Duplex=DuplexTumble");
    }
    if (ticket.collate && ticket.copies > 1) add("Collate=True");
    add("Density=" + std::to_string(DensityLevel(options.darkness_configured, options.print_darkness)));
    if (std::strcmp(options.media.source, "manual") == 0) add("InputSlot=ManualFeed");
    for (const VendorOption& vendor : kVendorOptions)
        if (vendor.attribute != nullptr && Applies(vendor, platform) &&
            IsTrue(cupsGetOption(vendor.attribute, options.num_vendor, options.vendor)))
            add(std::string(vendor.keyword) + "=True");
    return text;
}

void AdjustPageHeader(cups_page_header2_t& header, const JobTicket& ticket) {
    header.NumCopies = static_cast<unsigned>(ticket.copies);
}
