// The printer models this filter drives, and the paper table and platform of
// each. The PPD files are generated from this list.
#pragma once

#include "catalogue/paper_tables.h"

struct NorvexModel {
    const char* name;  // the PPD's ModelName, matched exactly
    int platform;
    const PAPER_SIZE_INFO* paperTable;
};

constexpr int kModelCount = 50;
extern const NorvexModel gNorvexModels[kModelCount];

// Table of the model named exactly `pPPDFile`; stores its platform (0 when the
// model is not in the list, which returns nullptr).
const PAPER_SIZE_INFO* GetPaperSizeArray(const char* pPPDFile, int* pPlatform);
