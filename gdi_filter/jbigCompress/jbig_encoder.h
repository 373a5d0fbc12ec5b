// Our JBIG (T.82) encoder for the parameters the printers take: one plane, the
// lowest resolution layer only, the two- or three-line template with typical
// prediction and adaptive-template moves. Its output is JBIG-KIT's byte for byte.
#pragma once

#include <cstdint>

#include "common/byte_buffer.h"
#include "jbigCompress/jbig_compress.h"

// Whether EncodeJbig writes exactly what JBIG-KIT writes for these parameters.
// Outside them (several planes, a private deterministic-prediction table, the
// three-line template over one-line stripes, where JBIG-KIT reads above the
// image) JBIG-KIT encodes.
bool JbigEncoderCovers(const JBIG_BIH& bih);

// Same contract as JBIGCompress, for parameters JbigEncoderCovers accepts: the
// padding bits after the last column of each row are cleared in place, as
// JBIG-KIT does, then the image entity is appended to `collection`.
int EncodeJbig(const JBIG_BIH& bih, uint8_t* rows, ByteBuffer* collection);
