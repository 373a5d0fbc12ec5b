// Document start and end: the job envelope and the document-level commands of
// each controller platform.
#include "prnt/document.h"

#include <cstring>
#include <ctime>

#include "common/byte_order.h"
#include "common/last_error.h"
#include "common/output.h"
#include "common/platform.h"
#include "prnt/duplex.h"
#include "prnt/fixed_commands.h"
#include "prnt/packet.h"
#include "prnt/pjl.h"

namespace {

constexpr char kKavrinModel[] = "Norvex Kavrin Series";
constexpr char kQuessanModel[] = "Norvex Quessan Series";

// Whole-string, case-sensitive; reads no further than the model's own length.
template <std::size_t N>
bool ModelIs(const GDI_START_DOC_PARAM* pStartDocParam, const char (&model)[N]) {
    const char* name = pStartDocParam->modelName;
    return name != nullptr && std::strncmp(name, model, N) == 0;
}

// One send of a sender: a failed result puts the step's message in front of
// prntLastError.
bool Sent(int result, const char* failure) { return result != 0 || FailStep(failure); }

// Short-command header shared by the one-parameter commands.
template <typename Record>
void StartShortCmd(Record* record, uint8_t cmd) {
    record->leadingByte = kShortCmdLead;
    record->cmdLen = sizeof(Record);
    record->cmd = cmd;
}

// The toner parameter bodies are the printer firmware's own calibration values,
// laid out at their wire offsets (checksum byte excluded).
constexpr uint8_t kTonerParamKavrin[35] = {
    0x0B, 36, 0x1E,
    0,                                   // paramVer
    30, 36,                              // densityLow, densityHigh
    38, 47, 80,                          // paperSizeMax, paperSizeMid, paperSizeMin
    6, 32, 32, 32,                       // warmUp, tonerSave, temperaLow, temperaHigh
    40, 44,                              // duplex, mediaSpel
    32, 32, 32, 32, 32, 32, 32,          // cartridgeCnt_1..7
    32, 32, 32,                          // printSpeed_1..3
    32, 32, 32, 32,                      // coverRate_1..4
    32, 32,                              // wasteToner_1..2
    32, 32,                              // idle, highDpi
    10, 0,                               // allowMaxCnt, reser
};

constexpr uint8_t kTonerParamSerith[39] = {
    0x0B, 40, 0x1E,
    0,                                   // paramVer
    23, 38,                              // densityLow, densityHigh
    0, 48, 64,                           // paperSizeMaxresvered, paperSizeMid, paperSizeMin
    32, 23, 32, 32,                      // warmUp, tonerSave, temperaLow, temperaHigh
    0, 0,                                // duplexandmediaSpelresvered
    32, 32, 32, 32, 32, 32, 32,          // cartridgeCnt_1..7
    32, 32, 32,                          // printSpeed_1..3
    32, 32, 32, 32,                      // coverRate_1..4
    32, 32,                              // wasteToner_1..2
    32, 8,                               // idle, highDpi
    10, 0, 0, 0, 0, 0,                   // allowMaxCnt, reser
};

// PLATFORM_M body: 36 big-endian 16-bit fields.
constexpr uint16_t kTonerParamPlatformM[36] = {
    0,                                   // paramVer
    81, 115,                             // densityLow, densityHigh
    110, 150,                            // highSpeedPageSize1..2
    122, 100, 150, 200,                  // lowSpeedBase, lowSpeedPageSzie1..3
    100, 81, 100, 100, 100,              // warmUp, tonerSave, temperaLow, temperaHigh, duplex
    100, 100, 100, 100, 100, 100, 100,   // cartridgeCnt_1..7
    100, 100, 100,                       // printSpeed_1..3
    120, 135, 150, 180, 200,             // highSpeedCoverRate_1..5
    120, 150, 190, 350, 400,             // lowSpeedCoverRate_1..5
    100, 100,                            // idle, dpi1200
};

static_assert(sizeof kTonerParamKavrin + 1 == sizeof(GDI_TONER_PARAM_DOLVEK), "Kavrin record");
static_assert(sizeof kTonerParamSerith + 1 == sizeof(GDI_TONER_PARAM_SERITH), "Serith record");
static_assert(sizeof kTonerParamPlatformM == sizeof(GDI_TONER_PARAM_PLATFORM_M::body), "M body");

// The three parameter records of the PLATFORM_M document start (type 1 each).
struct DocParam {
    uint16_t paramCmd;
    uint32_t value;
};
constexpr DocParam kStartDocParams[] = {
    {0, 0},
    {1, 0},
    {2, 1},
};

int StartDoc_M() {
    if (!Sent(SendFixed(UEL_CMD, 1), "Prnt_StartDoc() :: send UEL_CMD Fail 0 ==  \n")) return 0;
    if (!Sent(SendFixed(pjlJZJZ_Gadrel, 1),
              "Prnt_StartDoc() :: send pjlJZJZ_Gadrel Fail 0 ==  \n"))
        return 0;

    GDI_TONER_PARAM_PLATFORM_M toner;
    GetTonerParamCmdForPlatformM(&toner, sizeof toner, TONER_PARAM, 0, 0, kLongCmdSignature);
    if (!Sent(SendRecord(toner, 1), "Prnt_StartDoc() :: send TONER_PARAM Fail 0 ==  \n")) return 0;

    constexpr int kParamCount = sizeof kStartDocParams / sizeof kStartDocParams[0];
    GDI_JOB_SPEC_M header;
    SetCmdType(&header, sizeof header + kParamCount * sizeof(GDI_SET_PARAM), START_DOC_CMD,
               kParamCount, kParamCount * sizeof(GDI_SET_PARAM), kLongCmdSignature);
    if (!Sent(SendRecord(header, 1), "Prnt_StartDoc() :: send START_DOC_CMD Fail 0 ==  \n"))
        return 0;
    for (const DocParam& p : kStartDocParams) {
        GDI_SET_PARAM param;
        SetCmdParam(&param, p.paramCmd, 1, p.value);
        if (!Sent(SendRecord(param, 1), "Prnt_StartDoc() :: send TOTAL_PAGE_PARAM Fail 0 ==  \n"))
            return 0;
    }
    return 1;
}

int StartDoc_Z(const GDI_START_DOC_PARAM* pStartDocParam) {
    if (!Sent(SendFixed(PJLheader, 0), "Prnt_StartDoc() :: send PJLheader Fail 0 ==  \n")) return 0;
    if (ModelIs(pStartDocParam, kKavrinModel) &&
        !Sent(SendFixed(pjlVersion, 0), "Prnt_StartDoc() :: send pjlVersion Fail 0 ==  \n"))
        return 0;

    GetSendTimePJL(pjlPostSendTime);
    const char* timeFail = "Prnt_StartDoc() :: send pjlSendTime Fail 0 ==  \n";
    if (!Sent(SendFixed(pjlPreSendTime, 0), timeFail)) return 0;
    const int timeLen = static_cast<int>(strnlen(pjlPostSendTime, kSendTimeSize));
    if (!Sent(SendDataToFile(pjlPostSendTime, timeLen, 0), timeFail)) return 0;

    // Cleared first so a name the call could not deliver leaves no stale bytes;
    // at most 32 bytes are written, so the last byte keeps the text terminated.
    std::memset(pjlPostComputerName, 0, sizeof pjlPostComputerName);
    JobHostName(pjlPostComputerName, kComputerNameSize - 1);
    const char* hostFail = "Prnt_StartDoc() :: send pjlHostName Fail 0 ==  \n";
    if (!Sent(SendFixed(pjlPreComputerName, 0), hostFail)) return 0;
    // A host without a name (or whose name cannot be had) owns the job with an
    // empty value: the line is still ended, or the printer would read the next
    // PJL line as the owner's name.
    const int hostLen = static_cast<int>(std::strlen(pjlPostComputerName));
    if (hostLen > 0 && !Sent(SendDataToFile(pjlPostComputerName, hostLen, 0), hostFail)) return 0;
    if (!Sent(SendFixed(CRLF, 1), hostFail)) return 0;

    if (!Sent(SendFixed(pjlCmd, 0), "Prnt_StartDoc() :: send pjlPosCmd Fail 0 ==  \n")) return 0;

    Insert00();
    GDI_FINEMODE fineMode;
    GetFineModeCmd(pStartDocParam, &fineMode);
    if (!Sent(SendRecord(fineMode, 1), "Prnt_StartDoc() :: send cmdFineMode Fail 0 ==  \n"))
        return 0;

    Insert00();
    GDI_JOB_SPEC_Z jobSpec;
    GetJobSpecCmd_Z(pStartDocParam, &jobSpec);
    if (!Sent(SendRecord(jobSpec, 0), "Prnt_StartDoc() :: send cmdJobSpec Fail 0 ==  \n"))
        return 0;

    Insert00();
    GDI_DENSITY_PARAM density;
    GetDensityCmd(pStartDocParam, &density);
    if (!Sent(SendRecord(density, 0), "Prnt_StartDoc() :: send cmdDensity Fail 0 ==  \n"))
        return 0;

    Insert00();
    if (ModelIs(pStartDocParam, kKavrinModel)) {
        GDI_TONER_PARAM_DOLVEK toner;
        GetTonerParamCmdForKavrin(pStartDocParam, &toner);
        if (!Sent(SendRecord(toner, 0),
                  "Prnt_StartDoc() :: send cmdTonerParamKavrin Fail 0 ==  \n"))
            return 0;
    } else if (ModelIs(pStartDocParam, kQuessanModel)) {
        GDI_TONER_PARAM_SERITH toner;
        GetTonerParamCmdForSerith(pStartDocParam, &toner);
        if (!Sent(SendRecord(toner, 0),
                  "Prnt_StartDoc() :: send cmdTonerParamSerith Fail 0 ==  \n"))
            return 0;
    }
    return 1;
}

int StartDoc_C(const GDI_START_DOC_PARAM* pStartDocParam) {
    if (!Sent(SendFixed(UEL_CMD_C, 1), "Prnt_StartDoc() :: send UEL_CMD_C Fail 0 ==  \n")) return 0;
    if (!Sent(SendFixed(abortCmd, 1), "Prnt_StartDoc() :: send abortCmd Fail 0 ==  \n")) return 0;
    // The printer may still hold the tail of an interrupted job: close it first.
    if (!Sent(SendFixed(endOfJobCmd, 1), "Prnt_StartDoc() :: send endOfJobCmd Fail 0 ==  \n"))
        return 0;
    if (!Sent(SendFixed(fwVer, 1), "Prnt_StartDoc() :: send fw Version Fail 0 ==  \n")) return 0;

    Insert00();
    if (!Sent(SendFixed(PJLheader, 1), "Prnt_StartDoc() :: send PJLheader Fail 0 ==  \n")) return 0;
    if (!Sent(SendFixed(pjlCmd, 1), "Prnt_StartDoc() :: send pjlCmd Fail 0 ==  \n")) return 0;

    Insert00();
    GDI_JOB_SPEC_C jobSpec;
    GetJobSpecCmd_C(pStartDocParam, &jobSpec);
    if (!Sent(SendRecord(jobSpec, 1), "Prnt_StartDoc() :: send cmdJobSpec Fail 0 ==  \n"))
        return 0;

    Insert00();
    GDI_TONER_SAVE tonerSave;
    GetTonerSaveCmd(pStartDocParam, &tonerSave);
    if (!Sent(SendRecord(tonerSave, 1), "Prnt_StartDoc() :: send cmdTonerSave Fail 0 ==  \n"))
        return 0;

    Insert00();
    GDI_DENSITY_PARAM density;
    GetDensityCmd(pStartDocParam, &density);
    if (!Sent(SendRecord(density, 1), "Prnt_StartDoc() :: send cmdDensity Fail 0 ==  \n"))
        return 0;

    // The date follows the density command directly, without a separator.
    GDI_SYSTEM_DATE sysTime;
    if (!Sent(GetSysTimeCmd(&sysTime) && SendRecord(sysTime, 1),
              "Prnt_StartDoc() :: send cmdSysTime Fail 0 ==  \n"))
        return 0;
    return 1;
}

int EndDoc_M() {
    GDI_JOB_SPEC_M header;
    SetCmdType(&header, sizeof header, END_DOC_CMD, 0, 0, kLongCmdSignature);
    if (!Sent(SendRecord(header, 0), "Prnt_EndDoc() :: send END_DOC_CMD Fail 0 ==  \n")) return 0;
    if (!Sent(SendFixed(UEL_CMD, 0), "Prnt_EndDoc() :: send UEL_CMD Fail 0 ==  \n")) return 0;
    return 1;
}

// The PJL trailer that closes PLATFORM_C and PLATFORM_Z jobs.
int SendResetAndEndOfJob() {
    if (!Sent(SendFixed(resetCmd, 1), "Prnt_EndDoc() :: send resetCmd Fail 0 ==  \n")) return 0;
    if (!Sent(SendFixed(endOfJobCmd, 1), "Prnt_EndDoc() :: send endOfJobCmd Fail 0 ==  \n"))
        return 0;
    return 1;
}

int EndDoc_C(const GDI_END_DOC_PARAM* pEndDocParam) {
    // An odd last page leaves the duplex sheet open; the printer must be told to
    // put it out.
    if (pEndDocParam->bMachDup == 1 && !Sent(SendMachineDuplexCmd(pEndDocParam->page, 1),
                                             "Prnt_EndDoc() :: MachineDuplexCmd Fail .\n"))
        return 0;

    Insert00();
    if (!Sent(SendFixed(queryStatusCmd, 1), "Prnt_EndDoc() :: send queryStatusCmd Fail 0 ==  \n"))
        return 0;

    Insert00();
    return SendResetAndEndOfJob();
}

}  // namespace

uint8_t JobSpecFlags(const GDI_START_DOC_PARAM* pStartDocParam) {
    uint8_t flags = 0;
    if (pStartDocParam->watermarkEnable != 0) flags |= 0x80;
    flags |= pStartDocParam->DuplexMode;
    flags |= pStartDocParam->saveMode;
    if (pStartDocParam->bookletEnable != 0) flags |= 0x08;
    if (pStartDocParam->posterEnable != 0) flags |= 0x04;
    if (pStartDocParam->nupEnable != 0) flags |= 0x02;
    if (pStartDocParam->overlapEnable != 0) flags |= 0x01;
    return flags;
}

int GetJobSpecCmd_Z(const GDI_START_DOC_PARAM* pStartDocParam, GDI_JOB_SPEC_Z* pGdiJobSpec) {
    StartShortCmd(pGdiJobSpec, 0x11);
    pGdiJobSpec->param = JobSpecFlags(pStartDocParam);
    PutLE32(pGdiJobSpec->JobIdBytes, static_cast<uint32_t>(pStartDocParam->jobID));
    SealShortCmd(pGdiJobSpec);
    return 1;
}

int GetJobSpecCmd_C(const GDI_START_DOC_PARAM* pStartDocParam, GDI_JOB_SPEC_C* pGdiJobSpec) {
    StartShortCmd(pGdiJobSpec, 0x11);
    // This controller keeps only the low byte of the job number.
    pGdiJobSpec->jobID = static_cast<uint8_t>(pStartDocParam->jobID);
    pGdiJobSpec->param = JobSpecFlags(pStartDocParam);
    SealShortCmd(pGdiJobSpec);
    return 1;
}

int GetFineModeCmd(const GDI_START_DOC_PARAM* pStartDocParam, GDI_FINEMODE* pGdiFineMode) {
    StartShortCmd(pGdiFineMode, 0x1F);
    pGdiFineMode->enable = pStartDocParam->FineMode;
    SealShortCmd(pGdiFineMode);
    return 1;
}

int GetTonerSaveCmd(const GDI_START_DOC_PARAM* pStartDocParam, GDI_TONER_SAVE* pGdiTonerSave) {
    StartShortCmd(pGdiTonerSave, 0x19);
    pGdiTonerSave->enable = static_cast<uint8_t>(pStartDocParam->tonerSaveEnable);
    SealShortCmd(pGdiTonerSave);
    return 1;
}

int GetDensityCmd(const GDI_START_DOC_PARAM* pStartDocParam, GDI_DENSITY_PARAM* pGdiDensity) {
    StartShortCmd(pGdiDensity, 0x15);
    pGdiDensity->level = pStartDocParam->densityLevel;
    SealShortCmd(pGdiDensity);
    return 1;
}

int GetTonerParamCmdForKavrin(const GDI_START_DOC_PARAM*, GDI_TONER_PARAM_DOLVEK* pGdiTonerParam) {
    std::memset(pGdiTonerParam, 0, sizeof *pGdiTonerParam);
    std::memcpy(pGdiTonerParam->bytes, kTonerParamKavrin, sizeof kTonerParamKavrin);
    SealShortCmd(pGdiTonerParam);
    return 1;
}

int GetTonerParamCmdForSerith(const GDI_START_DOC_PARAM*, GDI_TONER_PARAM_SERITH* pGdiTonerParam) {
    std::memset(pGdiTonerParam, 0, sizeof *pGdiTonerParam);
    std::memcpy(pGdiTonerParam->bytes, kTonerParamSerith, sizeof kTonerParamSerith);
    SealShortCmd(pGdiTonerParam);
    return 1;
}

int GetTonerParamCmdForPlatformM(GDI_TONER_PARAM_PLATFORM_M* pGdiTonerParam, uint32_t cmdLen,
                                 uint32_t cmdType, uint32_t cmdParamNumber,
                                 uint16_t cmdParamNumberLen, uint16_t cmdSignature) {
    std::memset(pGdiTonerParam, 0, sizeof *pGdiTonerParam);
    SetCmdType(&pGdiTonerParam->header, cmdLen, cmdType, cmdParamNumber, cmdParamNumberLen,
               cmdSignature);
    for (std::size_t i = 0; i < sizeof kTonerParamPlatformM / sizeof kTonerParamPlatformM[0]; ++i)
        PutBE16(pGdiTonerParam->body + 2 * i, kTonerParamPlatformM[i]);
    return 1;
}

int GetSysTimeCmd(GDI_SYSTEM_DATE* pGdiSysTime) {
    if (pGdiSysTime == nullptr) return 0;
    const std::time_t now = JobTimeNow();
    const std::tm* local = std::localtime(&now);
    if (local == nullptr) return 0;  // no calendar date to give the printer
    StartShortCmd(pGdiSysTime, 0x1F);
    PutLE16(pGdiSysTime->year, static_cast<uint32_t>(local->tm_year + 1900));
    pGdiSysTime->month = static_cast<uint8_t>(local->tm_mon + 1);
    pGdiSysTime->day = static_cast<uint8_t>(local->tm_mday);
    SealShortCmd(pGdiSysTime);
    return 1;
}

int Prnt_StartDoc(const GDI_START_DOC_PARAM* pStartDocParam, int platform) {
    switch (platform) {
        case PLATFORM_C: return StartDoc_C(pStartDocParam);
        case PLATFORM_Z: return StartDoc_Z(pStartDocParam);
        case PLATFORM_M: return StartDoc_M();
        default: return 0;
    }
}

int Prnt_EndDoc(const GDI_END_DOC_PARAM* pEndDocParam, int platform) {
    switch (platform) {
        case PLATFORM_C: return EndDoc_C(pEndDocParam);
        case PLATFORM_Z: return SendResetAndEndOfJob();
        case PLATFORM_M: return EndDoc_M();
        default: return 0;
    }
}
