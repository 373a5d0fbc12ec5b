// The blank page: the empty back of the last sheet of a two-sided job.
#pragma once

#include <cups/raster.h>

#include "prnt/image.h"
#include "prnt/page.h"

// The page-image record of a W x H dot page (2 bits per dot when twoBit),
// as every page, real or blank, is sent.
GDI_SEND_PAGE_PARAM MakeSendPageParam(uint32_t W, uint32_t H, bool twoBit, int platform,
                                      unsigned resolutionX, uint8_t* image);

// Sends one empty page with the settings of the page-start record, numbered
// g_page + 1 (g_page itself is unchanged).
void InsertBlankPage(cups_page_header2_t header, GDI_START_PAGE_PARAM* pStartPageParam, int platform);
