// PLATFORM_Z page image on worker threads: each 256-line band is halftoned and
// compressed as soon as its grey rows are final, and the bands go out in order,
// byte for byte as Prnt_SendPage sends them.
#pragma once

#include <cstdint>
#include <vector>

#include "common/byte_buffer.h"
#include "common/worker_pool.h"
#include "prnt/image.h"

struct ImageBand {
    ByteBuffer stream;      // band command and compressed band
    uint32_t checksum = 0;  // image checksum of the band
    uint32_t dots = 0;      // dots the halftone made, for the page's coverage
    bool halftoned = false;
    bool compressed = false;
};

struct BandedPageImage {
    WorkerPool* pool = nullptr;  // nullptr: not started
    GDI_SEND_PAGE_PARAM send{};  // the dot image (sendImgBuf) and its size
    JBIG_BIH bih{};
    const uint8_t* grey = nullptr;  // the grey page, send.whlImgW bytes a row
    int negative = 0;
    int dpi1200 = 0;
    bool halftone = true;  // false: the dot page is already final (blank)
    std::vector<ImageBand> bands;
    uint32_t posted = 0;  // bands handed to the workers so far
    WorkGroup group;

    BandedPageImage() = default;
    ~BandedPageImage();  // waits for the bands still on the workers
    BandedPageImage(const BandedPageImage&) = delete;
    BandedPageImage& operator=(const BandedPageImage&) = delete;
};

// Starts the page's image on the pool: `send` describes the zero-filled dot
// image, `grey` the grey page of the same size. False (and nothing started)
// when the image cannot be banded here; the caller then takes the sequential
// path, which reports what is wrong with it.
bool StartBandedImage(BandedPageImage* image, WorkerPool* pool, const GDI_SEND_PAGE_PARAM& send,
                      const uint8_t* grey, int negative, int dpi1200);

// The grey rows [0, rows) are final: their complete bands go to the workers
// (and every band when `rows` is the page's height).
void PostFinalRows(BandedPageImage* image, uint32_t rows);

// Prnt_SendPage for a started image: waits for its bands (halftoning and
// compressing on this thread any that a worker could not), adds their dots to
// gImageCoverage, and sends the page with the same commands, bytes and failure
// texts. `halftone` false: bands not yet posted are sent as they stand.
int Prnt_SendBandedPage(BandedPageImage* image, bool halftone, GDI_SEND_PAGE_PARAM* pSendPageParam);
