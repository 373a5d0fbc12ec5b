// Fuzz target: option text and PPD defaults through the job's option parsing
// (the PPD defaults added by checkOptionKey, cupsParseOptions) and the
// printing functions taken from options and page header.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

#include "rastertoNorvex/cups_binding.h"
#include "rastertoNorvex/job_options.h"
#include "support/ppd_fixture.h"

namespace {

// A PPD default of one of the four flags: two bits of the input each.
const char* const kFlagDefaults[] = {"False", "True", "", "TRUE"};
const char* const kDensityDefaults[] = {"0", "1", "2", "3", "4", "", "-3", "4294967298"};

// One PPD per combination of defaults, opened on first use and kept for the
// process (never destroyed, so the leak checker sees them reachable at exit).
ppd_file_t* PPDWithDefaults(uint8_t flags, uint8_t density) {
    static auto* const opened = new std::map<unsigned, ppd_file_t*>;
    const unsigned key = flags * 8u + density % 8u;
    if (auto it = opened->find(key); it != opened->end()) return it->second;
    PPDFixture f;
    f.feedLongEdge = kFlagDefaults[flags & 3];
    f.tonerMode = kFlagDefaults[(flags >> 2) & 3];
    f.imageRotation = kFlagDefaults[(flags >> 4) & 3];
    f.negativePrint = kFlagDefaults[(flags >> 6) & 3];
    f.density = kDensityDefaults[density % 8];
    const std::string text = PPDText(f);
    // libcups reads PPDs through a descriptor: an anonymous memory file.
    const int fd = memfd_create("ppd", 0);
    if (fd < 0 || write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
        __builtin_trap();
    ppd_file_t* ppd = ppdOpenFile(("/proc/self/fd/" + std::to_string(fd)).c_str());
    close(fd);
    if (ppd == nullptr) __builtin_trap();  // the fixture is a valid PPD
    return (*opened)[key] = ppd;
}

uint32_t Word(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

bool IsFlag(int value) { return value == 0 || value == 1; }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    InitCUPSDLL();
    InitCUPSIMAGEDLL();
    return 0;
}

// Input: PPD flag defaults, density default, the header's Duplex and Tumble
// words (as a raster file carries them), then the option text.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    constexpr size_t kLead = 10;
    if (size < kLead) return 0;
    ppd_file_t* ppd = PPDWithDefaults(data[0], data[1]);
    cups_page_header2_t header{};
    // Raw words, as cupsRasterReadHeader2 copies them from the file.
    const uint32_t duplex = Word(data + 2), tumble = Word(data + 6);
    std::memcpy(&header.Duplex, &duplex, sizeof duplex);
    std::memcpy(&header.Tumble, &tumble, sizeof tumble);
    const std::string optionText(reinterpret_cast<const char*>(data + kLead), size - kLead);
    const char* text = optionText.c_str();  // up to the first zero byte, as argv holds it

    char parameters[kParametersSize] = {};
    cups_option_t* options = nullptr;
    const int count = ParseJobOptions(text, ppd, parameters, &options);
    if (strnlen(parameters, sizeof parameters) == sizeof parameters) __builtin_trap();

    PrintFuncTable table = kPrintFuncTemplate;
    GetFunctionValue(table.data(), count, options, &header);
    cupsFreeOptions(count, options);

    // Every function but the density is a small code the page commands take as is.
    for (FuncName f : {AUTODUPLEX, AUTODUPLONGEDGE, INPUTSLOT})
        if (table[f].value < 0 || table[f].value > 2) __builtin_trap();
    for (FuncName f : {MANUALDUPLEX, TONERMODE, LONGEDGEFEED, REVERSE, DPI1200, NEGATIVEPRINT,
                       IMAGEROTATION, COLLATE, FINEMODE})
        if (!IsFlag(table[f].value)) __builtin_trap();
    return 0;
}
