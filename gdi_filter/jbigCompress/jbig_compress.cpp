// JBIG wrapper: encodes one band with JBIG-KIT and collects the stream.
#include "jbigCompress/jbig_compress.h"

#include <climits>
#include <cstdlib>
#include <cstring>

extern "C" {
#include <jbig.h>
}

uint8_t* gpCompImgData = nullptr;
int gJbigCompressDataLen = 0;
int gJbigCompressDataCap = 0;

namespace {

// Set by jbig_data_out when the collection buffer could not grow. The encoder
// has no way to stop from inside its callback, so the rest of the band's output
// is dropped and JBIGCompress reports the band as failed.
bool gCollectFailed = false;

bool GrowCollection(std::size_t needed) {
    if (needed > static_cast<std::size_t>(INT_MAX)) return false;
    std::size_t cap = static_cast<std::size_t>(gJbigCompressDataCap);
    if (cap < 4096) cap = 4096;
    while (cap < needed) cap = cap > INT_MAX / 2 ? static_cast<std::size_t>(INT_MAX) : cap * 2;
    auto* grown = static_cast<uint8_t*>(std::realloc(gpCompImgData, cap));
    if (grown == nullptr) return false;
    gpCompImgData = grown;
    gJbigCompressDataCap = static_cast<int>(cap);
    return true;
}

}  // namespace

void jbig_data_out(unsigned char* buffer, std::size_t len, void* /*file*/) {
    if (gCollectFailed || len == 0) return;
    const std::size_t needed = static_cast<std::size_t>(gJbigCompressDataLen) + len;
    if (needed > static_cast<std::size_t>(gJbigCompressDataCap) && !GrowCollection(needed)) {
        gCollectFailed = true;
        return;
    }
    std::memcpy(gpCompImgData + gJbigCompressDataLen, buffer, len);
    gJbigCompressDataLen = static_cast<int>(needed);
}

int JBIGCompress(JBIG_BIH JbigBih, uint8_t* pKPlaneData) {
    if (JbigBih.ParamP == 0 || pKPlaneData == nullptr) return 0;
    // Every plane of the band is the same bitmap: the printer takes one plane.
    auto** planes = static_cast<unsigned char**>(std::malloc(JbigBih.ParamP * sizeof(unsigned char*)));
    if (planes == nullptr) return 0;
    for (int i = 0; i < JbigBih.ParamP; ++i) planes[i] = pKPlaneData;

    const int bandStart = gJbigCompressDataLen;
    gCollectFailed = false;
    jbg_enc_state state;
    jbg_enc_init(&state, JbigBih.ParamImgWidth, JbigBih.ParamImgHeight, JbigBih.ParamP, planes,
                 jbig_data_out, nullptr);
    jbg_enc_layers(&state, 0);
    jbg_enc_lrange(&state, JbigBih.ParamDl, -1);
    jbg_enc_options(&state, JbigBih.ParamOrder, JbigBih.ParamOption, JbigBih.ParamL0,
                    JbigBih.ParamMx, 0);
    jbg_enc_out(&state);
    jbg_enc_free(&state);
    std::free(planes);

    if (gCollectFailed) {
        // A truncated stream is worse than none: the band contributes nothing.
        gJbigCompressDataLen = bandStart;
        gCollectFailed = false;
        return 0;
    }
    return 1;
}
