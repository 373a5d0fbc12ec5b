// The 8-bit checksum that closes every short command packet.
#pragma once

#include <cstdint>

// Two's complement of the byte sum, so a whole packet sums to 0 modulo 256.
uint8_t CalcChecksum(const uint8_t* pSrc, int len);
