// Quarter and half turns of a one-byte-per-pixel page image, in its own buffer.
#pragma once

#include <cstdint>

// Clockwise quarter turn; afterwards the buffer holds widthBytes rows of
// heightPixels bytes (the caller swaps its width and height).
int Rotate90(unsigned char* imgBuf, uint32_t widthBytes, uint32_t heightPixels);
int Rotate180(char* imgBuf, uint32_t widthBytes, uint32_t heightPixels);
