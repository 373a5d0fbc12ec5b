// Page images of PLATFORM_C and PLATFORM_Z: the raster image command, the data
// or bands behind it, and the image checksum.
#pragma once

#include <cstddef>
#include <cstdint>

#include "walk.h"

// The raster image command at `at` (18 bytes); on PLATFORM_C also walks the data behind it.
void RasterImageCommand(Walk& w, size_t at, const uint8_t* packet);
// A PLATFORM_Z band command at `at` (48 bytes) and the band data behind it.
void JbigBandCommand(Walk& w, size_t at, const uint8_t* packet);
// PLATFORM_C's image checksum command.
void ImageChecksumCommand(Walk& w, size_t at, const uint8_t* packet);
// What the page's image must have delivered by its form feed at `at`.
void FinishRasterPage(Walk& w, size_t at);
