// The blank page: the empty back of the last sheet of a two-sided job.
#pragma once

#include <cups/raster.h>

#include "prnt/page.h"

// Sends one empty page with the settings of the page-start record and the
// header of the job's last page, numbered g_page + 1 (g_page itself is
// unchanged). Returns 0 when a step failed; its messages are in prntLastError.
int InsertBlankPage(cups_page_header2_t header, GDI_START_PAGE_PARAM* pStartPageParam, int platform);
