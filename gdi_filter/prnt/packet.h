// Command packet framing: the long-command header and parameter record of
// PLATFORM_M, and the helpers every sender uses to hand packets to the routing.
// Short commands (0x0B, length, code, parameters, checksum) are built by each
// command's own builder over CalcChecksum.
#pragma once

#include <cstdint>

#include "common/output.h"

constexpr uint8_t kShortCmdLead = 0x0B;
constexpr uint16_t kLongCmdSignature = 0x5A5A;  // "ZZ"

// Long command header: 16 bytes, every field big-endian.
struct _GDI_JOB_SPEC_M {
    uint8_t cmdLen[4];
    uint8_t cmdType[4];
    uint8_t cmdParamNumber[4];
    uint8_t cmdParamNumberLen[2];
    uint8_t cmdSignature[2];
};
typedef _GDI_JOB_SPEC_M GDI_JOB_SPEC_M, *PGDI_JOB_SPEC_M;
static_assert(sizeof(GDI_JOB_SPEC_M) == 16, "wire layout");

// Long command parameter record: 12 bytes, big-endian.
struct _GDI_SET_PARAM {
    uint8_t paramLen[4];
    uint8_t paramCmd[2];
    uint8_t paramType;
    uint8_t paramReserve;
    uint8_t ParamValue[4];
};
typedef _GDI_SET_PARAM GDI_SET_PARAM, *PGDI_SET_PARAM;
static_assert(sizeof(GDI_SET_PARAM) == 12, "wire layout");

// Long command types of PLATFORM_M.
enum LongCmdType : uint32_t {
    START_DOC_CMD = 0,
    END_DOC_CMD = 1,
    START_PAGE_CMD = 2,
    END_PAGE_CMD = 3,
    JBIG_PARAM_CMD = 4,
    JBIG_DATA_CMD = 5,
    JBIG_END_CMD = 6,
    MANUAL_DUPLEX_CMD = 11,
    TONER_PARAM = 17,
};

int SetCmdType(GDI_JOB_SPEC_M* pGdiPageSpec, uint32_t cmdLen, uint32_t cmdType,
               uint32_t cmdParamNumber, uint16_t cmdParamNumberLen, uint16_t cmdSignature);
int SetCmdParam(GDI_SET_PARAM* pGdiSetParam, uint16_t ParamCmd, uint8_t ParamType,
                uint32_t cmdParamValue);

// Stores CalcChecksum over bytes 0..cmdLen-2 of a short command in its last byte.
void SealShortCmd(uint8_t* packet, int cmdLen);

// The same for a whole short-command record, whose size is its cmdLen.
template <typename Record>
void SealShortCmd(Record* record) {
    SealShortCmd(reinterpret_cast<uint8_t*>(record), static_cast<int>(sizeof(Record)));
}

// Sends a whole wire record (its size is its wire length).
template <typename Record>
int SendRecord(const Record& record, int bCache) {
    return SendDataToFile(&record, static_cast<int>(sizeof(Record)), bCache);
}

// Sends a fixed command string without its terminating zero byte.
template <std::size_t N>
int SendFixed(const char (&text)[N], int bCache) {
    return SendDataToFile(text, static_cast<int>(N - 1), bCache);
}
