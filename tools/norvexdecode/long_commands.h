// The long commands of PLATFORM_M: types, lengths and parameter records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class LongType : uint32_t {
    StartDoc = 0, EndDoc = 1, StartPage = 2, EndPage = 3, JbigParam = 4, JbigData = 5, JbigEnd = 6,
    ManualDuplex = 11, TonerParam = 17,
};

// The 16-byte header, every field big-endian.
struct LongHeader {
    uint32_t length = 0, type = 0, paramCount = 0;
    uint16_t paramBytes = 0, signature = 0;
};

// A 12-byte parameter record.
struct LongParam {
    uint32_t recordLength = 0;
    uint16_t code = 0;
    uint8_t type = 0, reserve = 0;
    uint32_t value = 0;
};

LongHeader ReadLongHeader(const uint8_t* bytes);
LongParam ReadLongParam(const uint8_t* bytes);

// "START_PAGE_CMD", ..., or nullptr for a type the printer does not know.
const char* LongCommandName(uint32_t type);
// Name of a START_PAGE_CMD parameter code ("PAPER_SIZE_PARAM"), or nullptr.
const char* PageParamName(uint16_t code);
// The parameter codes START_PAGE_CMD carries, in order; custom paper (code 0) adds three.
std::vector<uint16_t> PageParamOrder(bool customPaper);

// The fixed body of TONER_PARAM (36 big-endian 16-bit values) and of
// START_DOC_CMD (three parameter records).
extern const uint16_t kTonerParamValues[36];
extern const uint8_t kStartDocParams[36];
