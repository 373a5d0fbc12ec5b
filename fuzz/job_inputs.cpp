// The printers and option texts of fuzzed jobs: every platform, listed models
// and models known by their PlatForm entry only, and every printing function.
#include "job_inputs.h"

#include <array>

#include "checked_job.h"
#include "support/ppd_fixture.h"

namespace {

struct FuzzPrinter {
    const char* model;
    const char* platformEntry;  // "": none
    Platform platform;
    const char* manualDuplex;   // SupportManualDuplex entry; "": none
    const char* hwMargins;
    const char* feedLongEdge;
    const char* density;
};

constexpr std::array<FuzzPrinter, kFuzzPrinterCount> kPrinters = {{
    {"Norvex Orvane 210 Series", "", PLATFORM_C, "", "0 0 0 0", "False", "2"},
    {"Norvex Kavrin Series", "", PLATFORM_Z, "TRUE", "0 0 0 0", "False", "2"},
    {"Norvex Lurran 3010 Series", "", PLATFORM_M, "TRUE", "0 0 0 0", "False", "3"},
    {"Norvex Serith 2100 Series", "", PLATFORM_Z, "", "0 0 0 0", "True", "4"},
    {"Test Norvex C Printer", "PLATFORM_C", PLATFORM_C, "", "12 12 12 12", "False", "0"},
    {"Test Norvex M Printer", "PLATFORM_M", PLATFORM_M, "TRUE", "10 20 10 20", "True", "1"},
}};

constexpr std::array<const char*, kFuzzOptionCount> kOptionTexts = {{
    "",
    "Duplex=DuplexNoTumble",
    "Duplex=DuplexTumble ImageRotation=True",
    "Collate=True",
    "ManualDuplex=True",
    "ManualDuplex=True Duplex=DuplexTumble",
    "Density=4 TonerMode=True",
    "Density=0 FineMode=True",
    "DPI1200=True",
    "NegativePrint=True",
    "FeedLongEdge=True",
    "InputSlot=ManualFeed outputorder=reverse",
    "sides=two-sided-long-edge Collate=True",
    "PageSize=Custom.100x200",
    "ImageRotation=True Collate=True Duplex=DuplexNoTumble",
    "InputSlot=AutoFeed FeedLongEdge=True ManualDuplex=True",
}};

}  // namespace

const std::string& FuzzPrinterPPD(size_t index) {
    static std::array<std::string, kFuzzPrinterCount> paths;
    std::string& path = paths[index % kFuzzPrinterCount];
    if (path.empty()) {
        const FuzzPrinter& p = kPrinters[index % kFuzzPrinterCount];
        PPDFixture f;
        f.modelName = p.model;
        f.platform = p.platformEntry;
        f.supportManualDuplex = p.manualDuplex;
        if (*p.manualDuplex) f.manualDuplexText = "Turn the printed sheets over and press OK";
        f.hwMargins = p.hwMargins;
        f.feedLongEdge = p.feedLongEdge;
        f.density = p.density;
        const std::string text = PPDText(f);
        path = MemoryFilePath(
            MemoryFile("ppd", reinterpret_cast<const uint8_t*>(text.data()), text.size()));
    }
    return path;
}

Platform FuzzPrinterPlatform(size_t index) { return kPrinters[index % kFuzzPrinterCount].platform; }

const char* FuzzOptionText(size_t index) { return kOptionTexts[index % kFuzzOptionCount]; }
