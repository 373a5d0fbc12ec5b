// Oversized pages printed on the paper the job asked for by name.
#include "rastertoNorvex/paper_override.h"

#include <cstring>

#include "rastertoNorvex/cups_binding.h"

namespace {

// Legal, the largest paper any of the printers feeds.
constexpr unsigned kLargestPaperW = 612;
constexpr unsigned kLargestPaperH = 1008;

}  // namespace

void isCutThePaper(cups_page_header2_t* header, const PAPER_SIZE_INFO* paperSizeArray,
                   int num_option, cups_option_t* options) {
    if (header == nullptr || paperSizeArray == nullptr || pfcupsGetOption == nullptr) return;
    if (header->PageSize[0] <= kLargestPaperW || header->PageSize[1] <= kLargestPaperH) return;

    // An application that renders on a larger canvas still names the paper it meant.
    const char* pageSize = pfcupsGetOption("PageSize", num_option, options);
    if (pageSize == nullptr) return;
    for (const PAPER_SIZE_INFO* row = paperSizeArray; row->cupsPaperW != -1; ++row) {
        if (std::strcmp(row->strPageSize, pageSize) == 0) {
            header->PageSize[0] = static_cast<unsigned>(row->cupsPaperW);
            header->PageSize[1] = static_cast<unsigned>(row->cupsPaperH);
            return;
        }
    }
}
