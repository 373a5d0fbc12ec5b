// The long commands of PLATFORM_M: types, lengths and parameter records.
#include "long_commands.h"

#include "common/byte_order.h"

namespace {

struct Named {
    uint32_t code;
    const char* name;
};

constexpr Named kLongNames[] = {
    {0, "START_DOC_CMD"},  {1, "END_DOC_CMD"},  {2, "START_PAGE_CMD"},     {3, "END_PAGE_CMD"},
    {4, "JBIG_PARAM_CMD"}, {5, "JBIG_DATA_CMD"}, {6, "JBIG_END_CMD"},      {11, "MANUAL_DUPLEX_CMD"},
    {17, "TONER_PARAM"},
};

constexpr Named kPageParams[] = {
    {0x0003, "PAPER_SIZE_PARAM"},   {0x001A, "CUSTOM_PAPER_UNIT_PARAM"}, {0x0018, "CUSTOM_WIDTH_PARAM"},
    {0x0019, "CUSTOM_HEIGHT_PARAM"}, {0x0004, "COPIES_PARAM"},           {0x0005, "INPUT_TRAY_PARAM"},
    {0x0006, "MEDIA_TYPE_PARAM"},   {0x0007, "CHANNEL_NUM_PARAM"},       {0x0008, "H_RESOLUTION_PARAM"},
    {0x0009, "V_RESOLUTION_PARAM"}, {0x0016, "RET_PARAM"},               {0x000C, "IMG_WIDTH_PARAM"},
    {0x000D, "IMG_HEIGHT_PARAM"},   {0x0010, "VIDEO_DEPTH_PARAM"},       {0x0011, "VIDEO_WIDTH_PARAM"},
    {0x0012, "VIDEO_HEIGHT_PARAM"}, {0xFF00, "DENSITY_PARAM"},
};

}  // namespace

const uint16_t kTonerParamValues[36] = {
    0,   81,  115, 110, 150, 122, 100, 150, 200, 100, 81,  100, 100, 100, 100, 100, 100, 100,
    100, 100, 100, 100, 100, 100, 120, 135, 150, 180, 200, 120, 150, 190, 350, 400, 100, 100,
};

const uint8_t kStartDocParams[36] = {
    0x00, 0x00, 0x00, 0x0C, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x0C, 0x00, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x0C, 0x00, 0x02, 0x01, 0x00, 0x00, 0x00, 0x00, 0x01,
};

LongHeader ReadLongHeader(const uint8_t* b) {
    LongHeader h;
    h.length = GetBE32(b);
    h.type = GetBE32(b + 4);
    h.paramCount = GetBE32(b + 8);
    h.paramBytes = static_cast<uint16_t>(GetBE16(b + 12));
    h.signature = static_cast<uint16_t>(GetBE16(b + 14));
    return h;
}

LongParam ReadLongParam(const uint8_t* b) {
    LongParam p;
    p.recordLength = GetBE32(b);
    p.code = static_cast<uint16_t>(GetBE16(b + 4));
    p.type = b[6];
    p.reserve = b[7];
    p.value = GetBE32(b + 8);
    return p;
}

const char* LongCommandName(uint32_t type) {
    for (const Named& n : kLongNames)
        if (n.code == type) return n.name;
    return nullptr;
}

const char* PageParamName(uint16_t code) {
    for (const Named& n : kPageParams)
        if (n.code == code) return n.name;
    return nullptr;
}

std::vector<uint16_t> PageParamOrder(bool customPaper) {
    std::vector<uint16_t> order;
    for (const Named& n : kPageParams) {
        const bool customOnly = n.code == 0x001A || n.code == 0x0018 || n.code == 0x0019;
        if (customPaper || !customOnly) order.push_back(static_cast<uint16_t>(n.code));
    }
    return order;
}
