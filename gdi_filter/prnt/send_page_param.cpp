// The page-image record of a dot page, as every page, real or blank, is sent.
#include "prnt/send_page_param.h"

#include "common/platform.h"

GDI_SEND_PAGE_PARAM MakeSendPageParam(uint32_t W, uint32_t H, bool twoBit, int platform,
                                      unsigned resolutionX, uint8_t* image) {
    GDI_SEND_PAGE_PARAM send{};
    send.compression = 0x20;
    send.whlImgW = static_cast<uint16_t>(twoBit ? 2 * W : W);
    send.whlImgH = static_cast<uint16_t>(H);
    if (platform == PLATFORM_C) {
        send.rasImgW = static_cast<uint16_t>(W);
        send.rasImgH = resolutionX == 600 ? 768 : 384;  // JBIG stripe height
        send.cmpImgBytes = 853;
    }
    send.sendImgBuf = image;
    return send;
}
