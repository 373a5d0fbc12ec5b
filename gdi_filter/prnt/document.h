// Document start and end: the job envelope and the document-level commands.
#pragma once

#include <cstdint>

#include "prnt/packet.h"

// Filled by the job driver before the first page.
struct _GDI_START_DOC_PARAM {
    int32_t jobID;
    char jobName[32];  // not NUL-terminated when the title has 32 bytes or more
    int32_t watermarkEnable;
    uint8_t DuplexMode;
    uint8_t FineMode;
    uint8_t saveMode;
    int32_t bookletEnable;
    int32_t posterEnable;
    int32_t nupEnable;
    int32_t overlapEnable;
    int32_t tonerSaveEnable;
    uint8_t densityLevel;
    // The PPD's model name (terminated); two models get their own toner
    // parameters. nullptr: no model-specific command.
    const char* modelName;
};
typedef _GDI_START_DOC_PARAM GDI_START_DOC_PARAM, *PGDI_START_DOC_PARAM;

// Filled by the job driver after the last page.
struct _GDI_END_DOC_PARAM {
    int32_t page;
    int32_t bMachDup;
};
typedef _GDI_END_DOC_PARAM GDI_END_DOC_PARAM, *PGDI_END_DOC_PARAM;

// Short command wire records (little-endian fields, checksum last).
struct _GDI_JOB_SPEC_Z {
    uint8_t leadingByte, cmdLen, cmd, param;
    uint8_t JobIdBytes[4];
    uint8_t checkSum;
};
typedef _GDI_JOB_SPEC_Z GDI_JOB_SPEC_Z;
static_assert(sizeof(GDI_JOB_SPEC_Z) == 9, "wire layout");

struct _GDI_JOB_SPEC_C {
    uint8_t leadingByte, cmdLen, cmd, jobID, param, checkSum;
};
typedef _GDI_JOB_SPEC_C GDI_JOB_SPEC_C;
static_assert(sizeof(GDI_JOB_SPEC_C) == 6, "wire layout");

struct _GDI_FINEMODE {
    uint8_t leadingByte, cmdLen, cmd, enable, checkSum;
};
typedef _GDI_FINEMODE GDI_FINEMODE;

struct _GDI_TONER_SAVE {
    uint8_t leadingByte, cmdLen, cmd, enable, checkSum;
};
typedef _GDI_TONER_SAVE GDI_TONER_SAVE;

struct _GDI_DENSITY_PARAM {
    uint8_t leadingByte, cmdLen, cmd, level, checkSum;
};
typedef _GDI_DENSITY_PARAM GDI_DENSITY_PARAM;

struct _GDI_SYSTEM_DATE {
    uint8_t leadingByte, cmdLen, cmd;
    uint8_t year[2];
    uint8_t month, day, checkSum;
};
typedef _GDI_SYSTEM_DATE GDI_SYSTEM_DATE;
static_assert(sizeof(GDI_SYSTEM_DATE) == 8, "wire layout");

// Kavrin toner parameter record, 36 bytes (constant content).
struct _GDI_TONER_PARAM_DOLVEK {
    uint8_t bytes[36];
};
typedef _GDI_TONER_PARAM_DOLVEK GDI_TONER_PARAM_DOLVEK;

// Serith toner parameter record, 40 bytes (constant content).
struct _GDI_TONER_PARAM_SERITH {
    uint8_t bytes[40];
};
typedef _GDI_TONER_PARAM_SERITH GDI_TONER_PARAM_SERITH;

// PLATFORM_M toner parameter command: long header + 36 big-endian 16-bit fields.
struct _GDI_TONER_PARAM_PLATFORM_M {
    GDI_JOB_SPEC_M header;
    uint8_t body[72];
};
typedef _GDI_TONER_PARAM_PLATFORM_M GDI_TONER_PARAM_PLATFORM_M;
static_assert(sizeof(GDI_TONER_PARAM_PLATFORM_M) == 88, "wire layout");

int Prnt_StartDoc(const GDI_START_DOC_PARAM* pStartDocParam, int platform);
int Prnt_EndDoc(const GDI_END_DOC_PARAM* pEndDocParam, int platform);

// The job specification flags byte shared by both job specification commands.
uint8_t JobSpecFlags(const GDI_START_DOC_PARAM* pStartDocParam);

int GetJobSpecCmd_Z(const GDI_START_DOC_PARAM* pStartDocParam, GDI_JOB_SPEC_Z* pGdiJobSpec);
int GetJobSpecCmd_C(const GDI_START_DOC_PARAM* pStartDocParam, GDI_JOB_SPEC_C* pGdiJobSpec);
int GetFineModeCmd(const GDI_START_DOC_PARAM* pStartDocParam, GDI_FINEMODE* pGdiFineMode);
int GetTonerSaveCmd(const GDI_START_DOC_PARAM* pStartDocParam, GDI_TONER_SAVE* pGdiTonerSave);
int GetDensityCmd(const GDI_START_DOC_PARAM* pStartDocParam, GDI_DENSITY_PARAM* pGdiDensity);
int GetTonerParamCmdForKavrin(const GDI_START_DOC_PARAM* pStartDocParam,
                              GDI_TONER_PARAM_DOLVEK* pGdiTonerParam);
int GetTonerParamCmdForSerith(const GDI_START_DOC_PARAM* pStartDocParam,
                              GDI_TONER_PARAM_SERITH* pGdiTonerParam);
int GetTonerParamCmdForPlatformM(GDI_TONER_PARAM_PLATFORM_M* pGdiTonerParam, uint32_t cmdLen,
                                 uint32_t cmdType, uint32_t cmdParamNumber,
                                 uint16_t cmdParamNumberLen, uint16_t cmdSignature);
int GetSysTimeCmd(GDI_SYSTEM_DATE* pGdiSysTime);
