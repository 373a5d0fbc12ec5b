// Driver data of a Norvex printer, derived from its model's platform and paper table.
#include "driver_data.h"

#include <cctype>
#include <cstring>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "access.h"
#include "catalogue/driver_texts.h"
#include "catalogue/paper_lookup.h"
#include "catalogue/platform_traits.h"
#include "document_formats.h"
#include "drivers.h"
#include "raster_job.h"

namespace {

// Custom sizes from 3 x 5 inches up to Legal, as the PPDs declare them.
constexpr char kCustomMin[] = "custom_min_3x5in";
constexpr char kCustomMax[] = "custom_max_8.5x14in";
// Index cards, a custom size that clients ask for by this name.
constexpr char kIndexCard[] = "na_index-4x6_4x6in";

// The PWG name of a table row: by its PPD name where libcups knows it (A4,
// Letter, EnvDL...), else by its size ("IOSB5", "Big16K").
std::string PwgNameOf(const PAPER_SIZE_INFO& row) {
    if (const pwg_media_t* media = pwgMediaForPPD(row.strPageSize);
        media != nullptr && media->width == PWG_FROM_POINTS(row.cupsPaperW) &&
        media->length == PWG_FROM_POINTS(row.cupsPaperH))
        return media->pwg;
    const int width = PWG_FROM_POINTS(row.cupsPaperW), length = PWG_FROM_POINTS(row.cupsPaperH);
    if (const pwg_media_t* media = pwgMediaForSize(width, length);
        media != nullptr && std::strncmp(media->pwg, "custom_", 7) != 0)
        return media->pwg;
    // libcups would name it "custom_WxHmm_WxHmm", which is no valid media
    // keyword for IPP clients: the size's own name goes in the middle.
    std::string name;
    for (const char* c = row.strPageSize; *c != '\0'; ++c)
        if (std::isalnum(static_cast<unsigned char>(*c)))
            name += static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
    char keyword[128];
    if (name.empty() || !pwgFormatSizeName(keyword, sizeof keyword, "custom", name.c_str(), width, length, nullptr))
        return {};
    return keyword;
}

// The media names of every paper table, built once and kept for PAPPL's pointers.
const std::vector<std::string>& MediaOf(const PAPER_SIZE_INFO* table) {
    static const std::map<const PAPER_SIZE_INFO*, std::vector<std::string>> all = [] {
        std::map<const PAPER_SIZE_INFO*, std::vector<std::string>> lists;
        for (const NorvexModel& model : gNorvexModels) {
            if (lists.count(model.paperTable) != 0) continue;
            std::vector<std::string>& names = lists[model.paperTable];
            for (const PAPER_SIZE_INFO* row = model.paperTable; row->cupsPaperW != -1; ++row) {
                std::string name = PwgNameOf(*row);
                bool listed = name.empty();
                for (const std::string& earlier : names) listed |= earlier == name;
                if (!listed) names.push_back(name);
            }
        }
        return lists;
    }();
    return all.at(table);
}

static_assert(std::size(kVendorOptions) <= PAPPL_MAX_VENDOR, "PAPPL holds at most 32 vendor options");

// The printer's resolutions that the app offers: the square ones, which
// renderers draw at.
void SetResolutions(pappl_pr_driver_data_t* data, const PlatformTraits& traits) {
    data->num_resolution = 0;
    for (const Resolution& resolution : traits.resolutions) {
        if (resolution.x == 0 || resolution.x != resolution.y) continue;
        data->x_resolution[data->num_resolution] = resolution.x;
        data->y_resolution[data->num_resolution] = resolution.y;
        ++data->num_resolution;
    }
    data->x_default = traits.resolutions[0].x;
    data->y_default = traits.resolutions[0].y;
}

void AddVendorBoolean(pappl_pr_driver_data_t* data, ipp_t* attrs, const char* name) {
    data->vendor[data->num_vendor++] = name;
    const std::string base = name;
    ippAddBoolean(attrs, IPP_TAG_PRINTER, (base + "-default").c_str(), 0);
    ippAddBoolean(attrs, IPP_TAG_PRINTER, (base + "-supported").c_str(), 1);
}

void SetMedia(pappl_pr_driver_data_t* data, const PAPER_SIZE_INFO* table) {
    const std::vector<std::string>& names = MediaOf(table);
    for (const std::string& name : names) {
        if (data->num_media >= PAPPL_MAX_MEDIA - 3) break;
        data->media[data->num_media++] = name.c_str();
    }
    data->media[data->num_media++] = kIndexCard;
    data->media[data->num_media++] = kCustomMin;
    data->media[data->num_media++] = kCustomMax;
    // The raster covers the whole sheet and the filter cuts the printer's
    // image out of it: clients keep their content inside what it keeps, on
    // every paper the model takes. No borderless printing.
    const UnprintableMargins margins = LargestUnprintableMargins(table, kCustomMargin);
    data->left_right = margins.leftRight;
    data->bottom_top = margins.bottomTop;

    // PAPPL adds "auto" (the printer chooses) itself.
    data->num_source = 2;
    data->source[0] = "main";
    data->source[1] = "manual";
    data->num_type = 1;
    data->type[0] = "stationery";

    const char* defaultSize = names.empty() ? "iso_a4_210x297mm" : names[0].c_str();
    for (const std::string& name : names)
        if (name == "iso_a4_210x297mm") defaultSize = name.c_str();
    const pwg_media_t* size = pwgMediaForPWG(defaultSize);
    pappl_media_col_t media{};
    std::strncpy(media.size_name, defaultSize, sizeof media.size_name - 1);
    if (size != nullptr) {
        media.size_width = size->width;
        media.size_length = size->length;
    }
    std::strncpy(media.type, "stationery", sizeof media.type - 1);
    media.left_margin = media.right_margin = data->left_right;
    media.bottom_margin = media.top_margin = data->bottom_top;
    for (int i = 0; i < data->num_source; ++i) {
        data->media_ready[i] = media;
        std::strncpy(data->media_ready[i].source, data->source[i], sizeof media.source - 1);
    }
    data->media_default = data->media_ready[0];
}

// A printer of an older state file keeps its ready media without margins.
void RaiseReadyMargins(pappl_printer_t* printer, void*) {
    pappl_pr_driver_data_t data;
    papplPrinterGetDriverData(printer, &data);
    bool raised = false;
    for (int i = 0; i < data.num_source; ++i) {
        pappl_media_col_t& media = data.media_ready[i];
        if (media.left_margin >= data.left_right && media.right_margin >= data.left_right &&
            media.bottom_margin >= data.bottom_top && media.top_margin >= data.bottom_top)
            continue;
        media.left_margin = media.right_margin = data.left_right;
        media.bottom_margin = media.top_margin = data.bottom_top;
        raised = true;
    }
    // The default media follows the ready media of its source.
    if (raised) papplPrinterSetReadyMedia(printer, data.num_source, data.media_ready);
}

}  // namespace

void RaiseStoredMargins(pappl_system_t* system) { papplSystemIteratePrinters(system, RaiseReadyMargins, nullptr); }

bool NorvexDriverData(pappl_system_t* system, const char* driverName, const char* deviceUri, const char*,
                      pappl_pr_driver_data_t* data, ipp_t** attrs, void* cbData) {
    const NorvexModel* model = ModelOfDriver(driverName);
    if (model == nullptr) {
        papplLog(system, PAPPL_LOGLEVEL_ERROR, "No Norvex model has the driver name \"%s\".",
                 driverName ? driverName : "(null)");
        return false;
    }
    // Every printer, whether added by a client, found by auto-add or loaded
    // from the state file, is made here: its device is checked here.
    static const AccessPolicy kNoFileDevices{};
    const auto* callbackData = static_cast<const DriverCallbackData*>(cbData);
    const AccessPolicy& policy =
        callbackData != nullptr && callbackData->policy != nullptr ? *callbackData->policy : kNoFileDevices;
    std::string why;
    if (!IsDeviceAllowed(policy, deviceUri, why)) {
        papplLog(system, PAPPL_LOGLEVEL_ERROR, "The device \"%s\" is refused: %s.", deviceUri ? deviceUri : "",
                 why.c_str());
        return false;
    }
    data->extension = const_cast<NorvexModel*>(model);
    SetRasterCallbacks(data);
    std::strncpy(data->make_and_model, model->name, sizeof data->make_and_model - 1);
    data->ppm = 20;
    data->kind = PAPPL_KIND_DOCUMENT | PAPPL_KIND_ENVELOPE | PAPPL_KIND_POSTCARD;
    data->color_supported = PAPPL_COLOR_MODE_AUTO | PAPPL_COLOR_MODE_MONOCHROME;
    data->color_default = PAPPL_COLOR_MODE_MONOCHROME;
    data->content_default = PAPPL_CONTENT_AUTO;
    data->quality_default = IPP_QUALITY_NORMAL;
    data->scaling_default = PAPPL_SCALING_AUTO;
    // IPP Everywhere wants an orientation, not "none", as the default.
    data->orient_default = IPP_ORIENT_PORTRAIT;
    // 8-bit grey passes through PAPPL untouched: the filter does the halftoning.
    data->raster_types = PAPPL_PWG_RASTER_TYPE_SGRAY_8;
    data->force_raster_type = PAPPL_PWG_RASTER_TYPE_NONE;
    // Without a format of its own PAPPL 1.3.1 crashes on a document it cannot type.
    data->format = kUntypedFormat;

    // Every model prints both sides: PLATFORM_C in the printer, the others by
    // manual duplex in the filter. The filter turns back pages itself.
    data->duplex = PAPPL_DUPLEX_NORMAL;
    data->sides_supported =
        PAPPL_SIDES_ONE_SIDED | PAPPL_SIDES_TWO_SIDED_LONG_EDGE | PAPPL_SIDES_TWO_SIDED_SHORT_EDGE;
    data->sides_default = PAPPL_SIDES_ONE_SIDED;

    SetResolutions(data, *TraitsOf(model->platform));

    SetMedia(data, model->paperTable);

    data->darkness_supported = kDensityLevels;
    data->darkness_configured = 50;
    data->darkness_default = 0;

    if (*attrs == nullptr) *attrs = ippNew();
    // What IPP Everywhere asks every printer to state: this one takes no
    // preferred-attributes requests and, printing grey only, leaves the
    // rendering intent to the printer.
    ippAddBoolean(*attrs, IPP_TAG_PRINTER, "preferred-attributes-supported", 0);
    ippAddString(*attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "print-rendering-intent-default", nullptr, "auto");
    ippAddString(*attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "print-rendering-intent-supported", nullptr, "auto");
    for (const VendorOption& option : kVendorOptions)
        if (option.attribute != nullptr && Applies(option, model->platform))
            AddVendorBoolean(data, *attrs, option.attribute);
    return true;
}
