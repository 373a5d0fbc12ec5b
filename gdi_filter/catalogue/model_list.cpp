// The printer models this filter drives, grouped by controller: PLATFORM_C with
// the Orvane tables, PLATFORM_Z with the Dolvek/Serith table, PLATFORM_M with the
// Lurran/Tessik table. Names are matched exactly, case included.
#include "catalogue/model_list.h"

#include <cstring>

#include "common/platform.h"

const NorvexModel gNorvexModels[kModelCount] = {
    {"Norvex Orvane 210 Series", PLATFORM_C, gPaperSizeArray_Orvane},
    {"Norvex Orvane 230 Series", PLATFORM_C, gPaperSizeArray_Orvane},

    {"Norvex Orvane M250 Series", PLATFORM_C, gPaperSizeArray_OrvaneMFP},
    {"Norvex Orvane M270 Series", PLATFORM_C, gPaperSizeArray_OrvaneMFP},

    // The first two get their own toner parameter records at document start.
    {"Norvex Kavrin Series", PLATFORM_Z, gPaperSizeArray_Dolvek_Serith},
    {"Norvex Quessan Series", PLATFORM_Z, gPaperSizeArray_Dolvek_Serith},
    {"Norvex Dolvek 1100 Series", PLATFORM_Z, gPaperSizeArray_Dolvek_Serith},
    {"Norvex Dolvek 1120 Series", PLATFORM_Z, gPaperSizeArray_Dolvek_Serith},
    {"Norvex Dolvek 1140 Series", PLATFORM_Z, gPaperSizeArray_Dolvek_Serith},
    {"Norvex Dolvek 1160 Series", PLATFORM_Z, gPaperSizeArray_Dolvek_Serith},
    {"Norvex Dolvek M1180 Series", PLATFORM_Z, gPaperSizeArray_Dolvek_Serith},
    {"Norvex Serith 2100 Series", PLATFORM_Z, gPaperSizeArray_Dolvek_Serith},
    {"Norvex Serith 2120 Series", PLATFORM_Z, gPaperSizeArray_Dolvek_Serith},
    {"Norvex Serith 2140 Series", PLATFORM_Z, gPaperSizeArray_Dolvek_Serith},
    {"Norvex Serith M2160 Series", PLATFORM_Z, gPaperSizeArray_Dolvek_Serith},
    {"Norvex Serith M2180 Series", PLATFORM_Z, gPaperSizeArray_Dolvek_Serith},
    {"Norvex Pellan 300 Series", PLATFORM_Z, gPaperSizeArray_Dolvek_Serith},
    {"Norvex Pellan 320 Series", PLATFORM_Z, gPaperSizeArray_Dolvek_Serith},
    {"Norvex Pellan M340 Series", PLATFORM_Z, gPaperSizeArray_Dolvek_Serith},

    {"Norvex Lurran 3010 Series", PLATFORM_M, gPaperSizeArray_Lurran_Tessik},
    {"Norvex Lurran 3020 Series", PLATFORM_M, gPaperSizeArray_Lurran_Tessik},
    {"Norvex Lurran 3030 Series", PLATFORM_M, gPaperSizeArray_Lurran_Tessik},
    {"Norvex Lurran 3040 Series", PLATFORM_M, gPaperSizeArray_Lurran_Tessik},
    {"Norvex Lurran 3050 Series", PLATFORM_M, gPaperSizeArray_Lurran_Tessik},
    {"Norvex Lurran 3060 Series", PLATFORM_M, gPaperSizeArray_Lurran_Tessik},
    {"Norvex Lurran 3070 Series", PLATFORM_M, gPaperSizeArray_Lurran_Tessik},
    {"Norvex Lurran 3080 Series", PLATFORM_M, gPaperSizeArray_Lurran_Tessik},
    {"Norvex Lurran M3100 Series", PLATFORM_M, gPaperSizeArray_Lurran_Tessik},
    {"Norvex Lurran M3200 Series", PLATFORM_M, gPaperSizeArray_Lurran_Tessik},
    {"Norvex Lurran M3300 Series", PLATFORM_M, gPaperSizeArray_Lurran_Tessik},
    {"Norvex Tessik 4010 Series", PLATFORM_M, gPaperSizeArray_Lurran_Tessik},
    {"Norvex Tessik 4020 Series", PLATFORM_M, gPaperSizeArray_Lurran_Tessik},
    {"Norvex Tessik 4030 Series", PLATFORM_M, gPaperSizeArray_Lurran_Tessik},
    {"Norvex Tessik 4040 Series", PLATFORM_M, gPaperSizeArray_Lurran_Tessik},
    {"Norvex Tessik 4050 Series", PLATFORM_M, gPaperSizeArray_Lurran_Tessik},
    {"Norvex Tessik 4060 Series", PLATFORM_M, gPaperSizeArray_Lurran_Tessik},
    {"Norvex Tessik 4070 Series", PLATFORM_M, gPaperSizeArray_Lurran_Tessik},
    {"Norvex Tessik 4080 Series", PLATFORM_M, gPaperSizeArray_Lurran_Tessik},
    {"Norvex Tessik M4100 Series", PLATFORM_M, gPaperSizeArray_Lurran_Tessik},
    {"Norvex Tessik M4200 Series", PLATFORM_M, gPaperSizeArray_Lurran_Tessik},
    {"Norvex Tessik M4300 Series", PLATFORM_M, gPaperSizeArray_Lurran_Tessik},
    {"Norvex Varda 500 Series", PLATFORM_M, gPaperSizeArray_Lurran_Tessik},
    {"Norvex Varda 520 Series", PLATFORM_M, gPaperSizeArray_Lurran_Tessik},
    {"Norvex Varda 540 Series", PLATFORM_M, gPaperSizeArray_Lurran_Tessik},
    {"Norvex Varda 560 Series", PLATFORM_M, gPaperSizeArray_Lurran_Tessik},
    {"Norvex Varda 580 Series", PLATFORM_M, gPaperSizeArray_Lurran_Tessik},
    {"Norvex Varda M600 Series", PLATFORM_M, gPaperSizeArray_Lurran_Tessik},
    {"Norvex Varda M620 Series", PLATFORM_M, gPaperSizeArray_Lurran_Tessik},
    {"Norvex Varda M640 Series", PLATFORM_M, gPaperSizeArray_Lurran_Tessik},
    {"Norvex Varda M660 Series", PLATFORM_M, gPaperSizeArray_Lurran_Tessik},
};

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
