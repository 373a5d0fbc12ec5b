// PLATFORM_Z page image on worker threads: each 256-line band is halftoned and
// compressed as soon as its grey rows are final, and the bands go out in order,
// byte for byte as Prnt_SendPage sends them.
#include "prnt/banded_image.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "common/last_error.h"
#include "common/platform.h"
#include "prnt/halftone.h"
#include "prnt/page.h"

namespace {

struct BandTask {
    BandedPageImage* image;
    uint32_t index;
};

// One band, on whichever thread runs it. It writes only the band's own rows of
// the dot page and its own ImageBand.
void MakeBand(BandedPageImage& image, uint32_t index, bool halftone) {
    ImageBand& band = image.bands[index];
    const uint32_t width = image.send.whlImgW;
    const uint32_t top = index * kJbigBandHeight;
    const uint32_t rows = std::min<uint32_t>(kJbigBandHeight, image.send.whlImgH - top);
    if (halftone && !band.halftoned) {
        band.dots = 0;
        HalftoneDitherBand(image.grey + std::size_t{top} * width, width, rows,
                           image.send.sendImgBuf + std::size_t{top} * (width / 8), image.negative,
                           image.dpi1200, PLATFORM_Z, &band.dots);
        band.halftoned = true;
    }
    band.stream.size = 0;
    band.compressed = ReserveBytes(&band.stream, CompressedSizeGuess(std::size_t{rows} * width / 8)) &&
                      CompressImageBand(image.send, image.bih, index, PLATFORM_Z, &band.stream,
                                        &band.checksum);
}

void PostBands(BandedPageImage* image, uint32_t upTo, bool halftone) {
    for (; image->posted < upTo; ++image->posted) {
        const uint32_t index = image->posted;
        BandedPageImage* owner = image;
        // Two words of capture: the task fits in std::function without allocating.
        auto task = halftone ? std::function<void()>([owner, index] { MakeBand(*owner, index, true); })
                             : std::function<void()>([owner, index] { MakeBand(*owner, index, false); });
        if (!PostWork(image->pool, &image->group, task)) task();
    }
}

}  // namespace

BandedPageImage::~BandedPageImage() {
    if (pool != nullptr) WaitForWork(pool, &group);
}

bool StartBandedImage(BandedPageImage* image, WorkerPool* pool, const GDI_SEND_PAGE_PARAM& send,
                      const uint8_t* grey, int negative, int dpi1200) {
    if (pool == nullptr || grey == nullptr || send.sendImgBuf == nullptr || send.whlImgW == 0 ||
        send.whlImgW % 8 != 0 || send.whlImgH == 0)
        return false;
    image->send = send;
    image->bih = JbigParamsFor(send, PLATFORM_Z);
    try {
        image->bands.resize(JbigBandCount(image->bih, PLATFORM_Z));
    } catch (const std::bad_alloc&) {
        return false;
    }
    image->grey = grey;
    image->negative = negative;
    image->dpi1200 = dpi1200;
    image->pool = pool;
    return true;
}

void PostFinalRows(BandedPageImage* image, uint32_t rows) {
    const uint32_t height = image->send.whlImgH;
    const uint32_t complete = rows >= height ? static_cast<uint32_t>(image->bands.size())
                                             : rows / kJbigBandHeight;
    PostBands(image, complete, true);
}

int Prnt_SendBandedPage(BandedPageImage* image, bool halftone, GDI_SEND_PAGE_PARAM* pSendPageParam) {
    PostBands(image, static_cast<uint32_t>(image->bands.size()), halftone);
    WaitForWork(image->pool, &image->group);

    ByteBuffer stream;
    std::size_t total = 0;
    for (const ImageBand& band : image->bands) total += static_cast<std::size_t>(band.stream.size);
    if (!ReserveBytes(&stream, std::max<std::size_t>(total, 1)))
        return FailStep("Prnt_SendPage() :: malloc Fail .  \n");
    for (uint32_t i = 0; i < image->bands.size(); ++i) {
        ImageBand& band = image->bands[i];
        // A band a worker could not finish is made here, as the sequential path
        // makes it: the page is never lost to a worker's allocation.
        if (!band.compressed) MakeBand(*image, i, halftone);
        if (!band.compressed) {
            char message[256];
            std::snprintf(message, sizeof message,
                          "OutputJbigkitCompression() :: JBIGCompress band %u Fail .  \n", i);
            PrependLastError(message);
            return FailStep("Prnt_SendPage() :: JBIG compression Fail .  \n");
        }
        if (!AppendBytes(&stream, band.stream.data, static_cast<std::size_t>(band.stream.size))) {
            PrependLastError("OutputJbigkitCompression() :: grow output buffer Fail .  \n");
            return FailStep("Prnt_SendPage() :: JBIG compression Fail .  \n");
        }
        gImageCoverage += band.dots;
        gImageChecksum = band.checksum;
    }
    return SendPageImage(pSendPageParam, image->bih, stream, PLATFORM_Z);
}
