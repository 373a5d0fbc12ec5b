// Exchange two sizes in place (width with height); no byte-order conversion.
#pragma once

#include <cstdint>

inline void SwapUINT(uint32_t* a, uint32_t* b) {
    const uint32_t t = *a;
    *a = *b;
    *b = t;
}
inline void SwapUSHORT(uint16_t* a, uint16_t* b) {
    const uint16_t t = *a;
    *a = *b;
    *b = t;
}
