// The job's printing functions from the page header, the options and the PPD.
#include "rastertoNorvex/job_options.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "rastertoNorvex/cups_binding.h"

namespace {

void AppendParameter(char* parameters, const char* addition) {
    const std::size_t used = std::strlen(parameters);
    const std::size_t extra = std::strlen(addition);
    if (used + extra >= kParametersSize) {
        std::fprintf(stderr, "DEBUG: No room for the PPD default \"%s\" in the job options\n",
                     addition + 1);
        return;
    }
    std::memcpy(parameters + used, addition, extra + 1);
}

int DuplexValue(const char* text) {
    if (!strcasecmp(text, "DuplexNoTumble") || !strcasecmp(text, "two-sided-long-edge")) return 1;
    if (!strcasecmp(text, "DuplexTumble") || !strcasecmp(text, "two-sided-short-edge")) return 2;
    return 0;
}

int InputSlotValue(const char* text) {
    if (!strcasecmp(text, "ManualFeed")) return 1;
    if (!strcasecmp(text, "AutoFeed")) return 2;
    return 0;  // "Auto" and anything unknown
}

}  // namespace

void checkOptionKey(char* parameters, const char* argv5, ppd_file_t* ppd) {
    // The four flags: the job decides when it names the option (or noOption)
    // anywhere in its text; else a PPD default of True adds the bare name.
    static const char* const kFlags[] = {"FeedLongEdge", "TonerMode", "ImageRotation",
                                         "NegativePrint"};
    char addition[64];
    for (const char* flag : kFlags) {
        if (std::strstr(argv5, flag) != nullptr) continue;
        ppd_option_t* option = ppdFindOption(ppd, flag);
        if (option == nullptr) {
            std::fprintf(stderr, "No find %s option\n", flag);
            continue;
        }
        if (!strcasecmp(option->defchoice, "True")) {
            std::snprintf(addition, sizeof addition, " %s", flag);
            AppendParameter(parameters, addition);
        }
    }
    if (std::strstr(argv5, "Density") != nullptr) return;
    ppd_option_t* density = ppdFindOption(ppd, "Density");
    if (density == nullptr) {
        std::fprintf(stderr, "No find Density option\n");
        return;
    }
    const int level = std::atoi(density->defchoice);
    if (level == 0 || level == 2 || level == 4) {
        std::snprintf(addition, sizeof addition, " Density=%d", level);
        AppendParameter(parameters, addition);
    }
}

int ParseJobOptions(const char* optionText, ppd_file_t* ppd, char* parameters,
                    cups_option_t** options) {
    parameters[0] = '\0';
    if (std::strlen(optionText) < kParametersSize) {
        std::strcpy(parameters, optionText);
        checkOptionKey(parameters, optionText, ppd);
        return pfcupsParseOptions(parameters, 0, options);
    }
    checkOptionKey(parameters, optionText, ppd);
    const int count = pfcupsParseOptions(optionText, 0, options);
    return pfcupsParseOptions(parameters, count, options);
}

void GetFunctionValue(PRINT_FUNC_INFO* pPrntFuncInfo, int num_option, cups_option_t* options,
                      const cups_page_header2_t* header) {
    int duplex = 0;
    if (HeaderValue(header->Duplex) != 0) duplex = HeaderValue(header->Tumble) == 0 ? 1 : 2;
    pPrntFuncInfo[AUTODUPLEX].value = duplex;
    std::fprintf(stderr, "DEBUG: ##Duplex = %d\n", duplex);

    for (int i = 0; i < FUNC_COUNT; ++i) {
        const char* text = pfcupsGetOption(pPrntFuncInfo[i].name, num_option, options);
        if (text == nullptr) continue;
        switch (i) {
            case AUTODUPLEX:
            case AUTODUPLONGEDGE:
                pPrntFuncInfo[i].value = DuplexValue(text);
                break;
            case DENSITY:
                pPrntFuncInfo[i].value = static_cast<int>(std::strtol(text, nullptr, 10));
                break;
            case INPUTSLOT:
                pPrntFuncInfo[i].value = InputSlotValue(text);
                break;
            default:
                // "false" never clears a function that is on.
                if (!strcasecmp(text, "true")) pPrntFuncInfo[i].value = 1;
                break;
        }
    }
}

void log_page_header2(const cups_page_header2_t* h) {
    std::fprintf(stderr, "DEBUG: Duplex = %d\n", static_cast<int>(HeaderValue(h->Duplex)));
    std::fprintf(stderr, "DEBUG: HWResolution = [ %d %d ]\n", static_cast<int>(h->HWResolution[0]),
                 static_cast<int>(h->HWResolution[1]));
    std::fprintf(stderr, "DEBUG: ImagingBoundingBox = [ %d %d %d %d ]\n",
                 static_cast<int>(h->ImagingBoundingBox[0]), static_cast<int>(h->ImagingBoundingBox[1]),
                 static_cast<int>(h->ImagingBoundingBox[2]), static_cast<int>(h->ImagingBoundingBox[3]));
    std::fprintf(stderr, "DEBUG: Margins = [ %d %d ]\n", static_cast<int>(h->Margins[0]),
                 static_cast<int>(h->Margins[1]));
    std::fprintf(stderr, "DEBUG: ManualFeed = %d\n", static_cast<int>(HeaderValue(h->ManualFeed)));
    std::fprintf(stderr, "DEBUG: MediaPosition = %d\n", static_cast<int>(h->MediaPosition));
    std::fprintf(stderr, "DEBUG: NumCopies = %d\n", static_cast<int>(h->NumCopies));
    std::fprintf(stderr, "DEBUG: Orientation = %d\n", static_cast<int>(HeaderValue(h->Orientation)));
    std::fprintf(stderr, "DEBUG: PageSize = [ %d %d ]\n", static_cast<int>(h->PageSize[0]),
                 static_cast<int>(h->PageSize[1]));
    std::fprintf(stderr, "DEBUG: cupsWidth = %d\n", static_cast<int>(h->cupsWidth));
    std::fprintf(stderr, "DEBUG: cupsHeight = %d\n", static_cast<int>(h->cupsHeight));
    std::fprintf(stderr, "DEBUG: cupsMediaType = %d\n", static_cast<int>(h->cupsMediaType));
    std::fprintf(stderr, "DEBUG: cupsBitsPerColor = %d\n", static_cast<int>(h->cupsBitsPerColor));
    std::fprintf(stderr, "DEBUG: cupsBitsPerPixel = %d\n", static_cast<int>(h->cupsBitsPerPixel));
    std::fprintf(stderr, "DEBUG: cupsBytesPerLine = %d\n", static_cast<int>(h->cupsBytesPerLine));
    std::fprintf(stderr, "DEBUG: cupsColorOrder = %d\n", static_cast<int>(HeaderValue(h->cupsColorOrder)));
    std::fprintf(stderr, "DEBUG: cupsColorSpace = %d\n", static_cast<int>(HeaderValue(h->cupsColorSpace)));
    std::fprintf(stderr, "DEBUG: cupsCompression = %d\n", static_cast<int>(h->cupsCompression));
}
