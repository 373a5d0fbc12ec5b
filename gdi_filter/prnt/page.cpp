// Page start and end: the page specification, custom paper, image checksum and
// coverage commands of PLATFORM_C/Z, and the start/end page long commands of PLATFORM_M.
#include <cstring>

#include "common/byte_order.h"
#include "common/last_error.h"
#include "common/output.h"
#include "common/platform.h"
#include "prnt/duplex.h"
#include "prnt/fixed_commands.h"
#include "prnt/packet.h"
#include "prnt/page.h"

namespace {

// Parameter codes of START_PAGE_CMD. DENSITY_PARAM is the only code with a high byte.
enum StartPageParamCode : uint16_t {
    PAPER_SIZE_PARAM = 0x0003,
    COPIES_PARAM = 0x0004,
    INPUT_TRAY_PARAM = 0x0005,
    MEDIA_TYPE_PARAM = 0x0006,
    CHANNEL_NUM_PARAM = 0x0007,
    H_RESOLUTION_PARAM = 0x0008,
    V_RESOLUTION_PARAM = 0x0009,
    IMG_WIDTH_PARAM = 0x000C,
    IMG_HEIGHT_PARAM = 0x000D,
    VIDEO_DEPTH_PARAM = 0x0010,
    VIDEO_WIDTH_PARAM = 0x0011,
    VIDEO_HEIGHT_PARAM = 0x0012,
    RET_PARAM = 0x0016,
    CUSTOM_WIDTH_PARAM = 0x0018,
    CUSTOM_HEIGHT_PARAM = 0x0019,
    CUSTOM_PAPER_UNIT_PARAM = 0x001A,
    DENSITY_PARAM = 0xFF00,
};

constexpr uint8_t kParamTypeValue = 1;

struct StartPageParamEntry {
    StartPageParamCode code;
    bool customOnly;  // sent only for custom paper (paperSize 0)
    const char* failure;
};

// The printer reads the parameters in this order.
constexpr StartPageParamEntry kStartPageParams[] = {
    {PAPER_SIZE_PARAM, false, "Prnt_StartPage() :: send PAPER_SIZE_PARAM Fail 0 ==  \n"},
    {CUSTOM_PAPER_UNIT_PARAM, true, "Prnt_StartPage() :: send CUSTOM_PAPER_UNIT_PARAM Fail 0 ==  \n"},
    {CUSTOM_WIDTH_PARAM, true, "Prnt_StartPage() :: send CUSTOM_WIDTH_PARAM Fail 0 ==  \n"},
    {CUSTOM_HEIGHT_PARAM, true, "Prnt_StartPage() :: send CUSTOM_HEIGHT_PARAM Fail 0 ==  \n"},
    {COPIES_PARAM, false, "Prnt_StartPage() :: send COPIES_PARAM Fail 0 ==  \n"},
    {INPUT_TRAY_PARAM, false, "Prnt_StartPage() :: send INPUT_TRAY_PARAM Fail 0 ==  \n"},
    {MEDIA_TYPE_PARAM, false, "Prnt_StartPage() :: send MEDIA_TYPE_PARAM Fail 0 ==  \n"},
    {CHANNEL_NUM_PARAM, false, "Prnt_StartPage() :: send CHANNEL_NUM_PARAM Fail 0 ==  \n"},
    {H_RESOLUTION_PARAM, false, "Prnt_StartPage() :: send H_RESOLUTION_PARAM Fail 0 ==  \n"},
    {V_RESOLUTION_PARAM, false, "Prnt_StartPage() :: send V_RESOLUTION_PARAM Fail 0 ==  \n"},
    {RET_PARAM, false, "Prnt_StartPage() :: send RET_PARAM Fail 0 ==  \n"},
    {IMG_WIDTH_PARAM, false, "Prnt_StartPage() :: send IMG_WIDTH_PARAM Fail 0 ==  \n"},
    {IMG_HEIGHT_PARAM, false, "Prnt_StartPage() :: send IMG_HEIGHT_PARAM Fail 0 ==  \n"},
    {VIDEO_DEPTH_PARAM, false, "Prnt_StartPage() :: send VIDEO_DEPTH_PARAM Fail 0 ==  \n"},
    {VIDEO_WIDTH_PARAM, false, "Prnt_StartPage() :: send VIDEO_WIDTH_PARAM Fail 0 ==  \n"},
    {VIDEO_HEIGHT_PARAM, false, "Prnt_StartPage() :: send VIDEO_HEIGHT_PARAM Fail 0 ==  \n"},
    {DENSITY_PARAM, false, "Prnt_StartPage() :: send DENSITY_PARAM Fail 0 ==  \n"},
};

constexpr uint32_t kStartPageParamCount = 14;
constexpr uint32_t kCustomStartPageParamCount = 17;
static_assert(sizeof(kStartPageParams) / sizeof(kStartPageParams[0]) == kCustomStartPageParamCount,
              "every START_PAGE_CMD parameter has its entry");

// Custom paper codes differ by controller: PLATFORM_C reserves 255, PLATFORM_Z 0.
constexpr uint16_t kCustomPaperC = 255;
constexpr uint16_t kCustomPaperZ = 0;
constexpr uint16_t kCustomPaperM = 0;

uint32_t BitsPerDot(const GDI_START_PAGE_PARAM& page) { return page.iIs2bit == 1 ? 2 : 1; }

uint32_t StartPageParamValue(StartPageParamCode code, const GDI_START_PAGE_PARAM& page) {
    switch (code) {
        case PAPER_SIZE_PARAM: return page.paperSize;
        case CUSTOM_PAPER_UNIT_PARAM: return 0;
        case CUSTOM_WIDTH_PARAM: return page.userPhyPgW;
        case CUSTOM_HEIGHT_PARAM: return page.userPhyPgH;
        case COPIES_PARAM: return page.copies;
        case INPUT_TRAY_PARAM: return page.tray;
        case MEDIA_TYPE_PARAM: return page.mediaType;
        case CHANNEL_NUM_PARAM: return 1;
        case H_RESOLUTION_PARAM: return page.resolutionX;
        case V_RESOLUTION_PARAM: return page.resolutionY;
        case RET_PARAM: return 0;
        // The image width is counted in bits, so a 2-bit page is twice as wide.
        case IMG_WIDTH_PARAM: return BitsPerDot(page) * page.userPrntAreaW;
        case IMG_HEIGHT_PARAM: return page.userPrntAreaH;
        case VIDEO_DEPTH_PARAM: return BitsPerDot(page);
        case VIDEO_WIDTH_PARAM: return page.userPrntAreaW;
        case VIDEO_HEIGHT_PARAM: return page.userPrntAreaH;
        case DENSITY_PARAM: return page.densityLevel;
    }
    return 0;
}

int StartPage_M(const GDI_START_PAGE_PARAM& page) {
    const bool custom = page.paperSize == kCustomPaperM;
    const uint32_t count = custom ? kCustomStartPageParamCount : kStartPageParamCount;
    const uint32_t paramBytes = count * sizeof(GDI_SET_PARAM);
    GDI_JOB_SPEC_M header;
    SetCmdType(&header, sizeof(GDI_JOB_SPEC_M) + paramBytes, START_PAGE_CMD, count,
               static_cast<uint16_t>(paramBytes), kLongCmdSignature);
    if (!SendRecord(header, 1))
        return FailStep("Prnt_StartPage() :: send START_PAGE_CMD Fail 0 ==  \n");

    for (const StartPageParamEntry& entry : kStartPageParams) {
        if (entry.customOnly && !custom) continue;
        GDI_SET_PARAM param;
        SetCmdParam(&param, entry.code, kParamTypeValue, StartPageParamValue(entry.code, page));
        if (!SendRecord(param, 1)) return FailStep(entry.failure);
    }
    return 1;
}

// Short commands are separated by 00 00; a lost separator is not worth failing the page.
int StartPage_CZ(const GDI_START_PAGE_PARAM& page, int platform) {
    gImageCoverage = 0;
    Insert00();
    GDI_PAGE_SPEC pageSpec;
    GetPageSpecCmd(&page, &pageSpec, platform);
    if (!SendRecord(pageSpec, 1)) return FailStep("Prnt_StartPage() :: send cmdPageSpec Fail 0 ==  \n");
    Insert00();
    GDI_CUSTOM_PAPER customPaper;
    GetCustomPaperCmd(&page, &customPaper, platform);
    if (!SendRecord(customPaper, 1))
        return FailStep("Prnt_StartPage() :: send cmdCustomPaper Fail 0 ==  \n");
    Insert00();
    if (platform == PLATFORM_Z) return 1;

    if (!SendFixed(hostUseCmd, 1)) return FailStep("Prnt_StartPage() :: send hostUseCmd Fail 0 ==  \n");
    Insert00();
    return 1;
}

int EndPage_C(GDI_END_PAGE_PARAM& page) {
    // The UEL bytes follow the image data and are part of the image checksum.
    if (!SendFixed(UEL_CMD_C, 1)) return FailStep("Prnt_EndPage() :: send UEL_CMD_C Fail 0 ==  \n");
    Insert00();
    GDI_IMAGE_DATA_CHECKSUM checksum;
    GetImageDataChenksumCmd(&checksum);
    if (!SendRecord(checksum, 1))
        return FailStep("Prnt_EndPage() :: send cmdImageDataChenksum Fail 0 ==  \n");
    Insert00();
    GDI_COVERAGE_C coverage;
    GetCoverageCmd_C(&page, &coverage);
    if (!SendRecord(coverage, 1)) return FailStep("Prnt_EndPage() :: send cmdCoverage Fail 0 ==  \n");
    Insert00();
    if (!SendFixed(formFeedCmd, 1)) return FailStep("Prnt_EndPage() :: send formFeedCmd Fail 0 ==  \n");

    if (page.bMachDup != 1) return 1;
    if (!SendMachineDuplexCmd(page.page, 1))
        return FailStep("Prnt_EndPage() :: MachineDuplexCmd Fail .\n");
    return 1;
}

int EndPage_Z() {
    Insert00();
    if (!SendFixed(formFeedCmd, 1)) return FailStep("Prnt_EndPage() :: send formFeedCmd Fail 0 ==  \n");
    return 1;
}

int EndPage_M() {
    GDI_JOB_SPEC_M header;
    SetCmdType(&header, sizeof(GDI_JOB_SPEC_M), END_PAGE_CMD, 0, 0, kLongCmdSignature);
    if (!SendRecord(header, 1)) return FailStep("Prnt_EndPage() :: send END_PAGE_CMD Fail 0 ==  \n");
    return 1;
}

}  // namespace

int Prnt_StartPage(const GDI_START_PAGE_PARAM* pStartPageParam, int platform) {
    if (pStartPageParam == nullptr) return 0;
    switch (platform) {
        case PLATFORM_M: return StartPage_M(*pStartPageParam);
        case PLATFORM_C:
        case PLATFORM_Z: return StartPage_CZ(*pStartPageParam, platform);
        default: return 0;
    }
}

int Prnt_EndPage(GDI_END_PAGE_PARAM* pEndPageParam, int platform) {
    if (pEndPageParam == nullptr) return 0;
    switch (platform) {
        case PLATFORM_M: return EndPage_M();
        case PLATFORM_C: return EndPage_C(*pEndPageParam);
        case PLATFORM_Z: return EndPage_Z();
        default: return 0;
    }
}

int GetPageSpecCmd(const GDI_START_PAGE_PARAM* pStartPageParam, GDI_PAGE_SPEC* pGdiPageSpec,
                   int platform) {
    const GDI_START_PAGE_PARAM& page = *pStartPageParam;
    GDI_PAGE_SPEC& spec = *pGdiPageSpec;
    spec.leadingByte = kShortCmdLead;
    spec.cmdLen = sizeof(GDI_PAGE_SPEC);
    spec.cmd = 0x12;
    spec.paperSize = static_cast<uint8_t>(page.paperSize);
    spec.mediaType = static_cast<uint8_t>(page.mediaType);
    spec.resolutionX = static_cast<uint8_t>(page.resolutionX);
    spec.resolutionY = static_cast<uint8_t>(page.resolutionY);
    spec.tray = static_cast<uint8_t>(page.tray);
    // Only PLATFORM_C takes feed edge, colour mode and margin unit; Z wants 0 here.
    const uint16_t options = page.feedEdge | page.colorMode | page.marginUnit;
    spec.colorMode_feedEdge_marginUnit = platform == PLATFORM_C ? static_cast<uint8_t>(options) : 0;
    PutLE16(spec.copies, page.copies);
    PutLE16(spec.marginX, page.marginX);
    PutLE16(spec.marginY, page.marginY);
    PutLE16(spec.pageNum, page.pageNum);
    SealShortCmd(&spec);
    return 1;
}

int GetCustomPaperCmd(const GDI_START_PAGE_PARAM* pStartPageParam,
                      GDI_CUSTOM_PAPER* pGdiCustomPaper, int platform) {
    const GDI_START_PAGE_PARAM& page = *pStartPageParam;
    GDI_CUSTOM_PAPER& cmd = *pGdiCustomPaper;
    std::memset(&cmd, 0, sizeof cmd);
    cmd.leadingByte = kShortCmdLead;
    cmd.cmdLen = sizeof(GDI_CUSTOM_PAPER);
    cmd.cmd = 0x13;
    const bool custom = (platform == PLATFORM_C && page.paperSize == kCustomPaperC) ||
                        (platform == PLATFORM_Z && page.paperSize == kCustomPaperZ);
    if (custom) {
        PutLE16(cmd.physicalPageW, page.userPhyPgW);
        PutLE16(cmd.physicalPageH, page.userPhyPgH);
        PutLE16(cmd.printableAreaW, page.userPrntAreaW);
        PutLE16(cmd.printableAreaH, page.userPrntAreaH);
    }
    SealShortCmd(&cmd);
    return 1;
}

int GetImageDataChenksumCmd(GDI_IMAGE_DATA_CHECKSUM* pGdiImageDataChenksum) {
    GDI_IMAGE_DATA_CHECKSUM& cmd = *pGdiImageDataChenksum;
    cmd.leadingByte = kShortCmdLead;
    cmd.cmdLen = sizeof(GDI_IMAGE_DATA_CHECKSUM);
    cmd.cmd = 0x1A;
    PutLE16(cmd.imageChecksum, gImageChecksum);
    SealShortCmd(&cmd);
    return 1;
}
