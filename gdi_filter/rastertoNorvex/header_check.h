// The checks a raster page header passes before anything is sized from it.
#pragma once

#include <cups/raster.h>

// Writes one ERROR line naming the value and its bound and returns false when
// the header is refused.
bool CheckPageHeader(const cups_page_header2_t& header);
