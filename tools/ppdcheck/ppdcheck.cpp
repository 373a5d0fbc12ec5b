// Checks the generated PPDs against the model catalogue, as the filter will
// read them; the build fails on any mismatch.
// Usage: ppdcheck ppd-directory
#include <cups/ppd.h>
#include <dirent.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "catalogue/device_id.h"
#include "catalogue/driver_texts.h"
#include "catalogue/model_list.h"
#include "catalogue/paper_lookup.h"
#include "catalogue/platform_traits.h"

namespace {

int gFailures = 0;

void Fail(const std::string& file, const std::string& what) {
    std::fprintf(stderr, "ppdcheck: %s: %s\n", file.c_str(), what.c_str());
    ++gFailures;
}

bool IsWholePoints(float value) { return std::fabs(value - std::round(value)) < 0.001f; }

// The text the filter gets for an IPP-reason entry, or "" plus false when absent.
bool ReasonText(ppd_file_t* ppd, const char* keyword, std::string* text) {
    char buffer[1024];
    const bool found = ppdLocalizeIPPReason(ppd, keyword, nullptr, buffer, sizeof buffer) != nullptr;
    *text = found ? buffer : "";
    return found;
}

// Every listed size must be the table row the filter finds for its dimensions,
// declared wholly imageable (the filter crops the sheet itself); every paper of
// the table must be listed.
void CheckSizes(const std::string& file, ppd_file_t* ppd, const PAPER_SIZE_INFO* table) {
    for (int i = 0; i < ppd->num_sizes; ++i) {
        const ppd_size_t& size = ppd->sizes[i];
        if (std::strcmp(size.name, "Custom") == 0) continue;
        const std::string name = size.name;
        if (!IsWholePoints(size.width) || !IsWholePoints(size.length) || size.width <= 0 ||
            size.length <= 0) {
            Fail(file, "page size " + name + " is not a whole number of points");
            continue;
        }
        const unsigned points[2] = {static_cast<unsigned>(std::lround(size.width)),
                                    static_cast<unsigned>(std::lround(size.length))};
        int feed = 0;
        const int row = GetPaperArrayIndex(points, table, &feed);
        if (row < 0 || name != table[row].strPageSize) {
            const std::string found =
                row < 0 ? "no table row" : std::string("table row ") + table[row].strPageSize;
            Fail(file, "page size " + name + " (" + std::to_string(points[0]) + " x " +
                           std::to_string(points[1]) + " points) maps to " + found);
            continue;
        }
        if (size.left != 0 || size.bottom != 0 || size.right != size.width || size.top != size.length)
            Fail(file, "page size " + name + " does not declare the whole sheet imageable");
    }
    for (int row = 0; table[row].cupsPaperW != -1; ++row) {
        if (ppdPageSize(ppd, table[row].strPageSize) == nullptr)
            Fail(file, std::string("paper ") + table[row].strPageSize + " of the table is not listed");
    }
}

// The entries the filter reads besides the sizes.
void CheckEntries(const std::string& file, ppd_file_t* ppd, const NorvexModel& model) {
    const int platform = model.platform;
    std::string text;
    if (!ReasonText(ppd, "PlatForm", &text) || text != PlatformKeyword(platform))
        Fail(file, "PlatForm is \"" + text + "\", the model list says " + PlatformKeyword(platform));
    if (!ReasonText(ppd, "SupportManualDuplex", &text))
        Fail(file, "no SupportManualDuplex entry");
    else if (TraitsOf(platform)->twoSidedByHand != (text == "TRUE"))
        Fail(file, "SupportManualDuplex is \"" + text + "\" on " + PlatformKeyword(platform));
    // Read back whole: a text libcups had to cut would differ.
    if (!ReasonText(ppd, "MDuplex", &text) || text != kTurnPagesText)
        Fail(file, "MDuplex reads \"" + text + "\"");
    if (ppd->manual_copies) Fail(file, "cupsManualCopies is True: the filter would never see NumCopies");
    bool margins = ppd->variable_sizes != 0;
    for (float margin : ppd->custom_margins) margins &= margin == kCustomMargin;
    if (!margins)
        Fail(file, "no custom page sizes with margins of " + std::to_string(kCustomMargin) + " points");
    bool filter = false;
    for (int i = 0; i < ppd->num_filters; ++i)
        filter |= std::strcmp(ppd->filters[i], "application/vnd.cups-raster 0 rastertoNorvex") == 0;
    if (!filter) Fail(file, "no cupsFilter line for rastertoNorvex");
    // What CUPS and desktop tools match a plugged-in printer against.
    const ppd_attr_t* id = ppdFindAttr(ppd, "1284DeviceID", nullptr);
    if (id == nullptr || id->value == nullptr || DeviceIdOf(model) != id->value)
        Fail(file, "1284DeviceID is not \"" + DeviceIdOf(model) + "\"");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: ppdcheck ppd-directory\n");
        return 2;
    }
    const std::string dir = argv[1];
    DIR* listing = opendir(dir.c_str());
    if (listing == nullptr) {
        std::perror(dir.c_str());
        return 1;
    }
    std::vector<std::string> files;
    while (const dirent* entry = readdir(listing)) {
        const std::string name = entry->d_name;
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".ppd") == 0) files.push_back(name);
    }
    closedir(listing);
    std::sort(files.begin(), files.end());

    int seen[kModelCount] = {};
    for (const std::string& file : files) {
        ppd_file_t* ppd = ppdOpenFile((dir + "/" + file).c_str());
        if (ppd == nullptr) {
            int line = 0;
            const ppd_status_t status = ppdLastError(&line);
            Fail(file, std::string("cannot be opened: ") + ppdErrorString(status) + " on line " +
                           std::to_string(line));
            continue;
        }
        const std::string model = ppd->modelname ? ppd->modelname : "";
        int platform = 0;
        const PAPER_SIZE_INFO* table = GetPaperSizeArray(model.c_str(), &platform);
        if (table == nullptr) {
            Fail(file, "model \"" + model + "\" is not in the filter's model list");
        } else {
            CheckSizes(file, ppd, table);
            for (int i = 0; i < kModelCount; ++i) {
                if (model != gNorvexModels[i].name) continue;
                ++seen[i];
                CheckEntries(file, ppd, gNorvexModels[i]);
            }
        }
        ppdClose(ppd);
    }
    for (int i = 0; i < kModelCount; ++i) {
        if (seen[i] != 1)
            Fail(dir, std::string("model \"") + gNorvexModels[i].name + "\" has " + std::to_string(seen[i]) +
                          " PPD files");
    }
    if (gFailures != 0) {
        std::fprintf(stderr, "ppdcheck: %d problem(s) in %s\n", gFailures, dir.c_str());
        return 1;
    }
    std::printf("ppdcheck: %zu PPD files match the model list and paper tables\n", files.size());
    return 0;
}
