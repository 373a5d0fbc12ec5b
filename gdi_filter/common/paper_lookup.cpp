// Paper table and platform for a model, and the row of a page size.
#include "common/paper_lookup.h"

#include <cstring>

#include "prnt/model_list.h"

namespace {

// The model name buffer of the job driver; never read past it.
constexpr std::size_t kModelNameBuffer = 1024;

}  // namespace

const PAPER_SIZE_INFO* GetPaperSizeArray(const char* pPPDFile, int* pPlatform) {
    for (const NorvexModel& model : gNorvexModels) {
        if (std::strncmp(model.name, pPPDFile, kModelNameBuffer) == 0) {
            *pPlatform = model.platform;
            return model.paperTable;
        }
    }
    *pPlatform = 0;
    return nullptr;
}

int GetPaperArrayIndex(const unsigned int* cupsPaperSize, const PAPER_SIZE_INFO* paperTypeArray,
                       int* pFeed) {
    // 421 x 595 points is how an A5 page fed long edge first arrives; row 0 is
    // A5 in every table.
    if (cupsPaperSize[0] == 421 && cupsPaperSize[1] == 595) {
        *pFeed = 1;
        return 0;
    }
    for (int row = 0; paperTypeArray[row].cupsPaperW != -1; ++row) {
        if (static_cast<unsigned>(paperTypeArray[row].cupsPaperW) == cupsPaperSize[0] &&
            static_cast<unsigned>(paperTypeArray[row].cupsPaperH) == cupsPaperSize[1])
            return row;
    }
    return -1;
}
