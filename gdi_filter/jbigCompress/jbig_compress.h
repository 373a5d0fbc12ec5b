// JBIG wrapper: one band in, its T.82 stream appended to a collection buffer.
#pragma once

#include <cstdint>

#include "common/byte_buffer.h"

// JBIG parameters of a page image, mirroring the T.82 image header.
struct _JBIG_BIH {
    uint8_t ParamDl;
    uint8_t ParamD;
    uint8_t ParamP;
    uint8_t ParamReserved;
    uint32_t ParamImgWidth;
    uint32_t ParamImgHeight;
    uint32_t ParamL0;
    uint8_t ParamMx;
    uint8_t ParamMy;
    uint8_t ParamOrder;
    uint8_t ParamOption;
};
typedef _JBIG_BIH JBIG_BIH;

// Encodes ParamImgHeight rows of ParamImgWidth bits (MSB first, whole bytes per
// row) and appends the complete image entity to `collection`. Returns 1, or 0
// when a buffer could not be had; nothing is appended then. Each call owns its
// encoder state, so bands may be encoded on several threads at once, each into
// its own collection buffer.
// Our encoder writes the printers' parameters (one plane, lowest resolution,
// two- or three-line template, typical prediction, template moves); other
// parameters go to JBIG-KIT. Both give the same bytes.
int JBIGCompress(JBIG_BIH JbigBih, uint8_t* pKPlaneData, ByteBuffer* collection);

// The same with JBIG-KIT whatever the parameters: the reference our encoder is
// compared with.
int JBIGCompressWithJbigkit(JBIG_BIH JbigBih, uint8_t* pKPlaneData, ByteBuffer* collection);
