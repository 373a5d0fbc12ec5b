// Writes a decoded page as an image file: PNG, or PBM (PGM for 2-bit pages).
#pragma once

#include <string>

#include "norvexdecode.h"

// 1-bit pages are black and white; the four toner levels of a 2-bit page are
// four greys (none = white, 3 = black).
bool WritePagePng(const std::string& path, const DecodedPage& page, std::string* error);
bool WritePagePnm(const std::string& path, const DecodedPage& page, std::string* error);

// "page-001.png", "page-002.pbm", "page-003.pgm", ... after the page's index.
std::string PageFileName(const DecodedPage& page, bool pnm);
