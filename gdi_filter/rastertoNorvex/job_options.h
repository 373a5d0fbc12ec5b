// The job's printing functions (duplex, density, toner save, ...) from the page
// header, the job options and, on PLATFORM_Z, the PPD's defaults.
#pragma once

#include <array>
#include <cstddef>
#include <cstring>

#include <cups/cups.h>
#include <cups/ppd.h>
#include <cups/raster.h>

enum FuncName {
    AUTODUPLEX = 0,       // 0 one-sided, 1 long edge, 2 short edge
    AUTODUPLONGEDGE = 1,  // same coding as AUTODUPLEX
    MANUALDUPLEX = 2,
    DENSITY = 3,
    TONERMODE = 4,
    LONGEDGEFEED = 5,
    REVERSE = 6,
    DPI1200 = 7,
    NEGATIVEPRINT = 8,
    INPUTSLOT = 9,        // 0 automatic, 1 manual feed, 2 auto feed
    IMAGEROTATION = 10,
    COLLATE = 11,
    FINEMODE = 12,
    FUNC_COUNT = 13,
};

struct PRINT_FUNC_INFO {
    const char* name;  // the job option keyword that sets the function
    int value;
};

using PrintFuncTable = std::array<PRINT_FUNC_INFO, FUNC_COUNT>;

inline constexpr PrintFuncTable kPrintFuncTemplate = {{
    {"Duplex", 0},
    {"Sides", 0},
    {"ManualDuplex", 0},
    {"Density", 2},
    {"TonerMode", 0},
    {"FeedLongEdge", 0},
    {"outputorder", 0},
    {"DPI1200", 0},
    {"NegativePrint", 0},
    {"InputSlot", 0},
    {"ImageRotation", 0},
    {"Collate", 0},
    {"FineMode", 0},
}};

// A page-header field as the number the raster carries. The booleans and
// enumerations of the header (Duplex, Tumble, ManualFeed, Orientation, the
// colour space ...) hold whatever the raster says, and loading a value outside
// its type's range is undefined: such fields are only ever read through here.
// A boolean is on for any value but 0, as CUPS tests it.
template <typename Field>
unsigned HeaderValue(const Field& field) {
    static_assert(sizeof(Field) == sizeof(unsigned), "page-header fields are 32 bits");
    unsigned value;
    std::memcpy(&value, &field, sizeof value);
    return value;
}

// Working copy of the option text on PLATFORM_Z, completed from the PPD.
constexpr std::size_t kParametersSize = 8192;

// Appends the PPD defaults of the options the job did not name to `parameters`
// (a buffer of kParametersSize bytes). An addition that would not fit is left
// out with a DEBUG line; the buffer is never written past.
void checkOptionKey(char* parameters, const char* argv5, ppd_file_t* ppd);

// Parses the job's option text with the PPD's defaults added, into `options`;
// `parameters` is the working copy (kParametersSize bytes). A text too long
// for the copy is parsed as it stands and the defaults after it, into the same
// list: the same options, nothing cut. Returns the number of options.
int ParseJobOptions(const char* optionText, ppd_file_t* ppd, char* parameters,
                    cups_option_t** options);

void GetFunctionValue(PRINT_FUNC_INFO* pPrntFuncInfo, int num_option, cups_option_t* options,
                      const cups_page_header2_t* header);

void log_page_header2(const cups_page_header2_t* header);
