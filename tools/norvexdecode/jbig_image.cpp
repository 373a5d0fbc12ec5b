// One T.82 image entity fed piecewise to JBIG-KIT's decoder.
#include "jbig_image.h"

#include "common/byte_order.h"
#include "listing.h"

JbigHeader ReadJbigHeader(const uint8_t* b) {
    JbigHeader h;
    h.dl = b[0];
    h.d = b[1];
    h.p = b[2];
    h.reserved = b[3];
    h.xd = GetBE32(b + 4);
    h.yd = GetBE32(b + 8);
    h.l0 = GetBE32(b + 12);
    h.mx = b[16];
    h.my = b[17];
    h.order = b[18];
    h.options = b[19];
    return h;
}

std::string DescribeJbigHeader(const JbigHeader& h) {
    return Format("JBIG DL=%u D=%u P=%u XD=%u YD=%u L0=%u MX=%u MY=%u order=0x%02X options=0x%02X",
                  h.dl, h.d, h.p, h.xd, h.yd, h.l0, h.mx, h.my, h.order, h.options);
}

JbigImage::JbigImage(uint32_t w, uint32_t h) : width(w), height(h) {}

JbigImage::~JbigImage() {
    if (decoderLive) jbg_dec_free(&decoder);
}

namespace {

void Fail(JbigImage& image, size_t at, std::string why) {
    image.state = JbigState::Failed;
    image.failAt = at;
    image.failure = std::move(why);
}

// The library sizes its image buffer from the header alone, so the header must
// match what the page commands declared before the library sees it.
bool HeaderFits(JbigImage& image) {
    const JbigHeader& h = image.header;
    if (h.dl != 0 || h.d != 0)
        Fail(image, 0, Format("JBIG header has DL=%u D=%u; a single layer (0, 0) is expected", h.dl, h.d));
    else if (h.p != 1)
        Fail(image, 2, Format("JBIG header has %u bit planes; 1 is expected", h.p));
    else if (h.xd != image.width || h.yd != image.height)
        Fail(image, 4, Format("JBIG header declares %ux%u, the commands declare %ux%u", h.xd, h.yd,
                              image.width, image.height));
    return image.state != JbigState::Failed;
}

// Hands bytes to the library and returns how many it took; `at` is the
// position of data[0] within the entity.
size_t Decode(JbigImage& image, const uint8_t* data, size_t len, size_t at) {
    size_t used = 0;
    // The library does not write to its input; its interface predates const.
    const int rc = jbg_dec_in(&image.decoder, const_cast<uint8_t*>(data), len, &used);
    if (rc == JBG_EOK)
        image.state = JbigState::Complete;
    else if (rc == JBG_EAGAIN)
        used = len;
    else
        Fail(image, at + used, Format("JBIG data rejected by the decoder: %s", jbg_strerror(rc)));
    return used;
}

}  // namespace

size_t FeedJbig(JbigImage& image, const uint8_t* data, size_t len) {
    if (image.state != JbigState::NeedMore) return 0;
    size_t used = 0;
    if (!image.headerRead) {
        while (image.headLen < kJbigHeaderSize && used < len) image.head[image.headLen++] = data[used++];
        image.taken += used;
        if (image.headLen < kJbigHeaderSize) return used;
        image.headerRead = true;
        image.header = ReadJbigHeader(image.head);
        if (!HeaderFits(image)) return used;
        jbg_dec_init(&image.decoder);
        jbg_dec_maxsize(&image.decoder, image.width, image.height);
        image.decoderLive = true;
        Decode(image, image.head, kJbigHeaderSize, 0);
        if (image.state != JbigState::NeedMore) return used;
    }
    if (used < len) {
        const size_t n = Decode(image, data + used, len - used, image.taken);
        image.taken += n;
        used += n;
    }
    return used;
}

const uint8_t* JbigBitmap(const JbigImage& image) {
    if (image.state != JbigState::Complete) return nullptr;
    return jbg_dec_getimage(&image.decoder, 0);
}
