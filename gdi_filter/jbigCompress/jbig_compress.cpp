// JBIG wrapper: encodes one band with our encoder (JBIG-KIT for parameters it
// does not cover, and as the reference) and collects the stream.
#include "jbigCompress/jbig_compress.h"

#include "jbigCompress/jbig_encoder.h"

#include <cstddef>
#include <cstdlib>

extern "C" {
#include <jbig.h>
}

namespace {

// What the encoder's callback appends to. The encoder has no way to stop from
// inside its callback, so once the buffer cannot grow the rest of the band's
// output is dropped and JBIGCompress reports the band as failed.
struct Collection {
    ByteBuffer* buffer;
    bool failed;
};

void jbig_data_out(unsigned char* buffer, std::size_t len, void* file) {
    auto* collection = static_cast<Collection*>(file);
    if (collection->failed || len == 0) return;
    if (!AppendBytes(collection->buffer, buffer, len)) collection->failed = true;
}

}  // namespace

int JBIGCompress(JBIG_BIH JbigBih, uint8_t* pKPlaneData, ByteBuffer* collection) {
    if (JbigBih.ParamP == 0 || pKPlaneData == nullptr || collection == nullptr) return 0;
    if (JbigEncoderCovers(JbigBih)) return EncodeJbig(JbigBih, pKPlaneData, collection);
    return JBIGCompressWithJbigkit(JbigBih, pKPlaneData, collection);
}

int JBIGCompressWithJbigkit(JBIG_BIH JbigBih, uint8_t* pKPlaneData, ByteBuffer* collection) {
    if (JbigBih.ParamP == 0 || pKPlaneData == nullptr || collection == nullptr) return 0;
    // Every plane of the band is the same bitmap: the printer takes one plane.
    auto** planes = static_cast<unsigned char**>(std::malloc(JbigBih.ParamP * sizeof(unsigned char*)));
    if (planes == nullptr) return 0;
    for (int i = 0; i < JbigBih.ParamP; ++i) planes[i] = pKPlaneData;

    const int bandStart = collection->size;
    Collection out{collection, false};
    jbg_enc_state state;
    jbg_enc_init(&state, JbigBih.ParamImgWidth, JbigBih.ParamImgHeight, JbigBih.ParamP, planes,
                 jbig_data_out, &out);
    jbg_enc_layers(&state, 0);
    jbg_enc_lrange(&state, JbigBih.ParamDl, -1);
    jbg_enc_options(&state, JbigBih.ParamOrder, JbigBih.ParamOption, JbigBih.ParamL0,
                    JbigBih.ParamMx, 0);
    jbg_enc_out(&state);
    jbg_enc_free(&state);
    std::free(planes);

    if (out.failed) {
        // A truncated stream is worse than none: the band contributes nothing.
        collection->size = bandStart;
        return 0;
    }
    return 1;
}
