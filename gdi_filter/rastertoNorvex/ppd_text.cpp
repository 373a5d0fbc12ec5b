// Texts the PPD carries as IPP-reason entries ("PlatForm", "SupportManualDuplex",
// "MDuplex"), e.g. *cupsIPPReason PlatForm/PLATFORM_Z: "".
#include "rastertoNorvex/cups_binding.h"
#include "rastertoNorvex/job_state.h"

bool GetPPDText(ppd_file_t* ppd, const char* keyword, char* buffer) {
    return pfppdLocalizeIPPReason(ppd, keyword, nullptr, buffer, kPPDTextSize) != nullptr;
}
