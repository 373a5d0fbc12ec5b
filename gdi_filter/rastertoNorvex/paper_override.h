// Oversized pages printed on the paper the job asked for by name.
#pragma once

#include <cups/cups.h>
#include <cups/raster.h>

#include "catalogue/paper_tables.h"

// A page larger than Legal in both directions (wider than 612 and taller than
// 1008 points) takes the size of the first row of `paperSizeArray` named exactly
// like the job's "PageSize" option. Any other page, or no such option or row,
// leaves the header as it is.
void isCutThePaper(cups_page_header2_t* header, const PAPER_SIZE_INFO* paperSizeArray,
                   int num_option, cups_option_t* options);
