// The blank page: the empty back of the last sheet of a two-sided job.
#include "rastertoNorvex/blank_page.h"

#include <memory>
#include <new>

#include "common/last_error.h"
#include "common/output.h"
#include "prnt/send_page_param.h"

int InsertBlankPage(cups_page_header2_t header, GDI_START_PAGE_PARAM* pStartPageParam, int platform) {
    // The record already holds the printable area as the real pages were sent:
    // for long-edge feed its width and height were exchanged to match the
    // turned image, so the blank page takes them as they are.
    const uint32_t W = pStartPageParam->userPrntAreaW;
    const uint32_t H = pStartPageParam->userPrntAreaH;
    const uint32_t is2bit = pStartPageParam->iIs2bit;
    int result = 1;

    pStartPageParam->pageNum = static_cast<uint16_t>(g_page + 1);
    if (!Prnt_StartPage(pStartPageParam, platform))
        result = FailStep("InsertBlankPage() :: Start page Fail ! \n");

    const std::size_t bytes = std::size_t{W} * H * (is2bit != 0 ? 2 : 1) / 8;
    std::unique_ptr<uint8_t[]> image(new (std::nothrow) uint8_t[bytes ? bytes : 1]());
    if (!image) {
        // Without its image the page is still closed, so the printer is not
        // left inside a page.
        result = FailStep("InsertBlankPage() :: malloc blank image Fail ! \n");
    } else {
        GDI_SEND_PAGE_PARAM send =
            MakeSendPageParam(W, H, is2bit == 1, platform, header.HWResolution[0], image.get());
        if (!Prnt_SendPage(&send, platform)) result = FailStep("InsertBlankPage() :: Send page Fail!\n");
    }

    GDI_END_PAGE_PARAM end{};
    end.page = g_page + 1;
    end.bMachDup = 0;
    if (!Prnt_EndPage(&end, platform)) result = FailStep("InsertBlankPage() :: End page Fail ! \n");
    return result;
}
