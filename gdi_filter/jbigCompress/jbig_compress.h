// JBIG wrapper over JBIG-KIT's encoder: one band in, its T.82 stream appended
// to the collection buffer.
#pragma once

#include <cstddef>
#include <cstdint>

#include "prnt/image.h"

// Collection buffer of the band being compressed, the bytes in it, and the bytes
// allocated for it. The encoder's output for unfavourable content can be larger
// than the raw band, so jbig_data_out grows the buffer rather than trusting a size.
extern uint8_t* gpCompImgData;
extern int gJbigCompressDataLen;
extern int gJbigCompressDataCap;

int JBIGCompress(JBIG_BIH JbigBih, uint8_t* pKPlaneData);
void jbig_data_out(unsigned char* buffer, std::size_t len, void* file);
