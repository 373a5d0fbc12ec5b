// The page-image record of a dot page, as every page, real or blank, is sent.
#pragma once

#include <cstdint>

#include "prnt/image.h"

// The record of a W x H dot page (2 bits per dot when twoBit) at the page's
// resolution across (PLATFORM_C takes its JBIG stripe height from it).
GDI_SEND_PAGE_PARAM MakeSendPageParam(uint32_t W, uint32_t H, bool twoBit, int platform,
                                      unsigned resolutionX, uint8_t* image);
