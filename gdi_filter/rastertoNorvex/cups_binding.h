// Binding to the CUPS libraries: a table of entry points filled from the
// libraries at their fixed paths when present, else from the linked ones.
#pragma once

#include <cups/cups.h>
#include <cups/ppd.h>
#include <cups/raster.h>
#include <cups/sidechannel.h>

extern void* m_hCUPS;
extern void* m_hCUPSImage;

extern decltype(&ppdClose) pfppdClose;
extern decltype(&ppdOpenFile) pfppdOpenFile;
extern decltype(&ppdLocalizeIPPReason) pfppdLocalizeIPPReason;
extern decltype(&cupsGetOption) pfcupsGetOption;
extern decltype(&cupsParseOptions) pfcupsParseOptions;
extern decltype(&cupsSideChannelDoRequest) pfcupsSideChannelDoRequest;
extern decltype(&cupsTempFd) pfcupsTempFd;
extern decltype(&cupsRasterReadPixels) pfcupsRasterReadPixels;
extern decltype(&cupsRasterClose) pfcupsRasterClose;
extern decltype(&cupsRasterReadHeader2) pfcupsRasterReadHeader2;
extern decltype(&cupsRasterOpenIO) pfcupsRasterOpenIO;

// 1 when the library at its fixed path was loaded, 0 when the linked one is used.
int InitCUPSDLL();
int InitCUPSIMAGEDLL();
// Closes both handles (end of job).
void ReleaseCUPSDLLs();

// Fixed paths tried before the linked libraries; tests may point them elsewhere.
extern const char* gCupsLibraryPath;
extern const char* gCupsImageLibraryPath;
