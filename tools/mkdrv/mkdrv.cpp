// Writes the ppdc driver information file for every printer of the model
// catalogue, so the PPDs carry exactly the names, platforms, options and paper
// sizes the filter looks up. Usage: mkdrv output.drv
#include <cctype>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "catalogue/device_id.h"
#include "catalogue/driver_texts.h"
#include "catalogue/model_list.h"
#include "catalogue/paper_tables.h"
#include "catalogue/platform_traits.h"
#include "catalogue/ppd_name.h"

namespace {

// Custom sizes from 3 x 5 inches up to Legal, the largest paper of every table.
constexpr int kCustomMinW = 216, kCustomMinH = 360;
constexpr int kCustomMaxW = 612, kCustomMaxH = 1008;

struct PaperText {
    const char* name;
    const char* text;
};

// Names the user sees for the table's page size names; a name not listed here
// is shown as it is.
constexpr PaperText kPaperTexts[] = {
    {"IOSB5", "ISO B5"},
    {"B5", "JIS B5"},
    {"B6", "ISO B6"},
    {"Folio", "Folio (8.5 x 13 in)"},
    {"Oficio", "Oficio (8.5 x 13.5 in)"},
    {"Postcard", "Postcard (100 x 148 mm)"},
    {"EnvMonarch", "Envelope Monarch"},
    {"EnvDL", "Envelope DL"},
    {"EnvC5", "Envelope C5"},
    {"EnvC6", "Envelope C6"},
    {"Com10Envelope", "Envelope #10"},
    {"ZL", "Envelope ZL"},
    {"Big32K", "Big 32K"},
    {"Big16K", "Big 16K"},
};

const char* PaperTextOf(const char* name) {
    for (const PaperText& paper : kPaperTexts)
        if (std::strcmp(paper.name, name) == 0) return paper.text;
    return name;
}

const char* TableName(const PAPER_SIZE_INFO* table) {
    if (table == gPaperSizeArray_Orvane) return "Orvane";
    if (table == gPaperSizeArray_OrvaneMFP) return "OrvaneMFP";
    if (table == gPaperSizeArray_Dolvek_Serith) return "Dolvek_Serith";
    if (table == gPaperSizeArray_Lurran_Tessik) return "Lurran_Tessik";
    return "unknown";
}

// "Norvex Dolvek M1180 Series" -> "norvex-dolvek-m1180.ppd", the name users pass
// to lpadmin -m.
std::string FileNameOf(const char* model) { return PpdBaseNameOf(model) + ".ppd"; }

// The PPD's 8.3 PCFileName: "NV", the series' initial and the model number
// ("NVDM1180.PPD"), or the series name for a model without a number ("NVKAVRIN.PPD").
std::string PCFileNameOf(const char* model) {
    const std::vector<std::string> words = DesignationOf(model);
    std::string code;
    if (words.size() == 1) {
        code = words[0];
    } else if (!words.empty()) {
        code = words[0].substr(0, 1);
        for (std::size_t i = 1; i < words.size(); ++i) code += words[i];
    }
    std::string name = ("NV" + code).substr(0, 8);
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return name + ".PPD";
}

// Both file names must tell the models apart.
bool FileNamesUnique() {
    for (int i = 0; i < kModelCount; ++i) {
        for (int j = 0; j < i; ++j) {
            if (FileNameOf(gNorvexModels[i].name) == FileNameOf(gNorvexModels[j].name) ||
                PCFileNameOf(gNorvexModels[i].name) == PCFileNameOf(gNorvexModels[j].name)) {
                std::fprintf(stderr, "mkdrv: \"%s\" and \"%s\" get the same PPD file name\n",
                             gNorvexModels[j].name, gNorvexModels[i].name);
                return false;
            }
        }
    }
    return true;
}

bool ListedEarlier(const PAPER_SIZE_INFO* table, int row) {
    for (int earlier = 0; earlier < row; ++earlier)
        if (std::strcmp(table[earlier].strPageSize, table[row].strPageSize) == 0) return true;
    return false;
}

// A flag the filter reads from the job options; off unless the user turns it on.
void WriteBoolean(FILE* out, const char* indent, const VendorOption& option) {
    std::fprintf(out,
                 "%sOption \"%s/%s\" Boolean AnySetup 10\n"
                 "%s  *Choice \"False/Off\" \"\"\n"
                 "%s  Choice \"True/On\" \"\"\n",
                 indent, option.keyword, option.label, indent, indent);
}

// The label of every option must fit a PPD translation string.
bool LabelsFit() {
    for (const VendorOption& option : kVendorOptions) {
        if (std::strlen(option.label) > kMaxTranslation || std::strpbrk(option.label, ":/\"<") != nullptr) {
            std::fprintf(stderr, "mkdrv: option label \"%s\" cannot go into a PPD\n", option.label);
            return false;
        }
    }
    return true;
}

// "600dpi/600 DPI", "1200x600dpi/1200 x 600 DPI".
void WriteResolution(FILE* out, const char* indent, const Resolution& resolution) {
    if (resolution.x == resolution.y)
        std::fprintf(out, "%sResolution - 8 0 0 0 \"%ddpi/%d DPI\"\n", indent, resolution.x, resolution.x);
    else
        std::fprintf(out, "%sResolution - 8 0 0 0 \"%dx%ddpi/%d x %d DPI\"\n", indent, resolution.x,
                     resolution.y, resolution.x, resolution.y);
}

// What every model has: the filter, 8-bit grey raster, copies left to the
// filter, custom sizes with their margins, and the options the filter reads.
void WriteCommon(FILE* out) {
    std::fprintf(out,
                 "Manufacturer \"Norvex\"\n"
                 "Version \"%s\"\n"
                 "DriverType custom\n"
                 "ColorDevice no\n"
                 "// The filter repeats pages and re-sends collated copies itself; it\n"
                 "// takes the copy count from the raster page header.\n"
                 "ManualCopies no\n"
                 "Filter \"application/vnd.cups-raster 0 rastertoNorvex\"\n"
                 "ColorModel \"Gray/Grayscale\" 18 chunky 0\n",
                 NORVEX_VERSION);
    // Every platform prints at 600 dpi first.
    WriteResolution(out, "", kPlatformTraits[0].resolutions[0]);
    std::fprintf(out,
                 "\n"
                 "// Custom sizes are rendered inside these margins; the listed sizes\n"
                 "// declare the whole sheet, which the filter crops for the printer.\n"
                 "VariablePaperSize yes\n"
                 "MinSize %d %d\n"
                 "MaxSize %d %d\n"
                 "HWMargins %d %d %d %d\n"
                 "\n"
                 "Attribute cupsIPPReason \"MDuplex/%s\" \"\"\n"
                 "\n"
                 "Option \"Density/Print Density\" PickOne AnySetup 10\n",
                 kCustomMinW, kCustomMinH, kCustomMaxW, kCustomMaxH, kCustomMargin,
                 kCustomMargin, kCustomMargin, kCustomMargin, kTurnPagesText);
    for (int level = 0; level < kDensityLevels; ++level)
        std::fprintf(out, "  %sChoice \"%d/%s\" \"\"\n", level == kNormalDensity ? "*" : "", level,
                     kDensityNames[level]);
    for (const VendorOption& option : kVendorOptions)
        if (InEveryPpd(option)) WriteBoolean(out, "", option);
    std::fprintf(out,
                 "*InputSlot 0 \"Auto/Automatic\"\n"
                 "InputSlot 1 \"ManualFeed/Manual Feed\"\n"
                 "InputSlot 2 \"AutoFeed/Tray\"\n");
}

// What sets the platforms apart: PLATFORM_C duplexes in the printer; on
// PLATFORM_Z the filter turns two-sided jobs into manual duplex; PLATFORM_M has
// no duplexer, so two-sided printing there is manual duplex asked for by hand.
void WritePlatform(FILE* out, const PlatformTraits& traits) {
    std::fprintf(out, "  Attribute cupsIPPReason \"PlatForm/%s\" \"\"\n", traits.keyword);
    std::fprintf(out, "  Attribute cupsIPPReason \"SupportManualDuplex/%s\" \"\"\n",
                 traits.twoSidedByHand ? "TRUE" : "FALSE");
    for (std::size_t i = 1; i < std::size(traits.resolutions) && traits.resolutions[i].x != 0; ++i)
        WriteResolution(out, "  ", traits.resolutions[i]);
    // The filter turns back pages itself, so the back side is rendered like
    // the front ("Normal").
    if (traits.duplexer || traits.twoSidedByHand) std::fprintf(out, "  Duplex normal\n");
    for (const VendorOption& option : kVendorOptions)
        if (!InEveryPpd(option) && Applies(option, traits.platform)) WriteBoolean(out, "  ", option);
}

// The table's papers under their table names and sizes, each declared wholly
// imageable: CUPS then renders the whole sheet and the filter cuts the
// printer's image out of it. A name listed twice is written once.
bool WriteMedia(FILE* out, const PAPER_SIZE_INFO* table) {
    bool haveA4 = false;
    for (int row = 0; table[row].cupsPaperW != -1; ++row)
        haveA4 |= std::strcmp(table[row].strPageSize, "A4") == 0;
    for (int row = 0; table[row].cupsPaperW != -1; ++row) {
        const PAPER_SIZE_INFO& paper = table[row];
        if (ListedEarlier(table, row)) continue;
        const char* text = PaperTextOf(paper.strPageSize);
        if (std::strlen(text) > kMaxTranslation || std::strpbrk(text, ":/\"<") != nullptr) {
            std::fprintf(stderr, "mkdrv: paper text \"%s\" cannot go into a PPD\n", text);
            return false;
        }
        const bool isDefault = haveA4 ? std::strcmp(paper.strPageSize, "A4") == 0 : row == 0;
        std::fprintf(out,
                     "  %sCustomMedia \"%s/%s\" %d %d 0 0 0 0\n"
                     "    \"<</PageSize[%d %d]/ImagingBBox null>>setpagedevice\"\n"
                     "    \"<</PageSize[%d %d]/ImagingBBox null>>setpagedevice\"\n",
                     isDefault ? "*" : "", paper.strPageSize, text, paper.cupsPaperW, paper.cupsPaperH,
                     paper.cupsPaperW, paper.cupsPaperH, paper.cupsPaperW, paper.cupsPaperH);
    }
    return true;
}

// One ppdc group per paper table and platform, in list order, holding the
// models that share them.
bool WriteModels(FILE* out) {
    bool written[kModelCount] = {};
    for (int first = 0; first < kModelCount; ++first) {
        if (written[first]) continue;
        const NorvexModel& lead = gNorvexModels[first];
        const PlatformTraits* traits = TraitsOf(lead.platform);
        if (traits == nullptr || lead.paperTable == nullptr) {
            std::fprintf(stderr, "mkdrv: \"%s\" has no platform or paper table\n", lead.name);
            return false;
        }
        std::fprintf(out, "\n// %s, paper table %s\n{\n", traits->keyword, TableName(lead.paperTable));
        WritePlatform(out, *traits);
        if (!WriteMedia(out, lead.paperTable)) return false;
        for (int i = first; i < kModelCount; ++i) {
            const NorvexModel& model = gNorvexModels[i];
            if (model.platform != lead.platform || model.paperTable != lead.paperTable) continue;
            std::fprintf(out,
                         "  {\n    ModelName \"%s\"\n    FileName \"%s\"\n    PCFileName \"%s\"\n"
                         "    Attribute \"1284DeviceID\" \"\" \"%s\"\n  }\n",
                         model.name, FileNameOf(model.name).c_str(), PCFileNameOf(model.name).c_str(),
                         DeviceIdOf(model).c_str());
            written[i] = true;
        }
        std::fprintf(out, "}\n");
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: mkdrv output.drv\n");
        return 2;
    }
    if (!FileNamesUnique() || !LabelsFit()) return 1;
    FILE* out = std::fopen(argv[1], "w");
    if (out == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    std::fprintf(out,
                 "// Norvex printers for rastertoNorvex. Generated by mkdrv from the\n"
                 "// filter's model list and paper tables: edit those, not this file.\n\n");
    WriteCommon(out);
    const bool ok = WriteModels(out);
    if (std::fclose(out) != 0 || !ok) {
        std::fprintf(stderr, "mkdrv: could not write %s\n", argv[1]);
        std::remove(argv[1]);
        return 1;
    }
    return 0;
}
