// Command packet framing: long-command header and parameter records.
#include "prnt/packet.h"

#include "common/byte_order.h"
#include "common/checksum.h"

int SetCmdType(GDI_JOB_SPEC_M* pGdiPageSpec, uint32_t cmdLen, uint32_t cmdType,
               uint32_t cmdParamNumber, uint16_t cmdParamNumberLen, uint16_t cmdSignature) {
    PutBE32(pGdiPageSpec->cmdLen, cmdLen);
    PutBE32(pGdiPageSpec->cmdType, cmdType);
    PutBE32(pGdiPageSpec->cmdParamNumber, cmdParamNumber);
    PutBE16(pGdiPageSpec->cmdParamNumberLen, cmdParamNumberLen);
    PutBE16(pGdiPageSpec->cmdSignature, cmdSignature);
    return 1;
}

int SetCmdParam(GDI_SET_PARAM* pGdiSetParam, uint16_t ParamCmd, uint8_t ParamType,
                uint32_t cmdParamValue) {
    PutBE32(pGdiSetParam->paramLen, sizeof(GDI_SET_PARAM));
    PutBE16(pGdiSetParam->paramCmd, ParamCmd);
    pGdiSetParam->paramType = ParamType;
    pGdiSetParam->paramReserve = 0;
    PutBE32(pGdiSetParam->ParamValue, cmdParamValue);
    return 1;
}

void SealShortCmd(uint8_t* packet, int cmdLen) {
    packet[cmdLen - 1] = CalcChecksum(packet, cmdLen - 1);
}
