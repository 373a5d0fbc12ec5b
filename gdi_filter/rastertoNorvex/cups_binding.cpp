// Binding to the CUPS libraries through a table of entry points.
//
// A library found at its fixed path supplies its half of the table. A name it
// lacks falls back to the linked entry point of that one name, so no entry is
// ever null and every call reaches a working CUPS function.
#include "rastertoNorvex/cups_binding.h"

#include <dlfcn.h>

void* m_hCUPS = nullptr;
void* m_hCUPSImage = nullptr;

decltype(&ppdClose) pfppdClose = nullptr;
decltype(&ppdOpenFile) pfppdOpenFile = nullptr;
decltype(&ppdLocalizeIPPReason) pfppdLocalizeIPPReason = nullptr;
decltype(&cupsGetOption) pfcupsGetOption = nullptr;
decltype(&cupsParseOptions) pfcupsParseOptions = nullptr;
decltype(&cupsSideChannelDoRequest) pfcupsSideChannelDoRequest = nullptr;
decltype(&cupsTempFd) pfcupsTempFd = nullptr;
decltype(&cupsRasterReadPixels) pfcupsRasterReadPixels = nullptr;
decltype(&cupsRasterClose) pfcupsRasterClose = nullptr;
decltype(&cupsRasterReadHeader2) pfcupsRasterReadHeader2 = nullptr;
decltype(&cupsRasterOpenIO) pfcupsRasterOpenIO = nullptr;

const char* gCupsLibraryPath = "/usr/lib/libcups.so";
const char* gCupsImageLibraryPath = "/usr/lib/libcupsimage.so";

namespace {

// Entry from the loaded library, or the linked entry point when it lacks the name.
template <typename Fn>
void Bind(Fn& entry, void* handle, const char* name, Fn linked) {
    void* symbol = handle ? dlsym(handle, name) : nullptr;
    entry = symbol ? reinterpret_cast<Fn>(symbol) : linked;
}

}  // namespace

int InitCUPSDLL() {
    if (m_hCUPS) {
        dlclose(m_hCUPS);
        m_hCUPS = nullptr;
    }
    m_hCUPS = dlopen(gCupsLibraryPath, RTLD_LAZY);
    Bind(pfppdClose, m_hCUPS, "ppdClose", &ppdClose);
    Bind(pfppdOpenFile, m_hCUPS, "ppdOpenFile", &ppdOpenFile);
    Bind(pfppdLocalizeIPPReason, m_hCUPS, "ppdLocalizeIPPReason", &ppdLocalizeIPPReason);
    Bind(pfcupsGetOption, m_hCUPS, "cupsGetOption", &cupsGetOption);
    Bind(pfcupsParseOptions, m_hCUPS, "cupsParseOptions", &cupsParseOptions);
    Bind(pfcupsSideChannelDoRequest, m_hCUPS, "cupsSideChannelDoRequest", &cupsSideChannelDoRequest);
    Bind(pfcupsTempFd, m_hCUPS, "cupsTempFd", &cupsTempFd);
    return m_hCUPS ? 1 : 0;
}

int InitCUPSIMAGEDLL() {
    if (m_hCUPSImage) {
        dlclose(m_hCUPSImage);
        m_hCUPSImage = nullptr;
    }
    m_hCUPSImage = dlopen(gCupsImageLibraryPath, RTLD_LAZY);
    Bind(pfcupsRasterReadPixels, m_hCUPSImage, "cupsRasterReadPixels", &cupsRasterReadPixels);
    Bind(pfcupsRasterReadHeader2, m_hCUPSImage, "cupsRasterReadHeader2", &cupsRasterReadHeader2);
    Bind(pfcupsRasterOpenIO, m_hCUPSImage, "cupsRasterOpenIO", &cupsRasterOpenIO);
    if (m_hCUPSImage) {
        Bind(pfcupsRasterClose, m_hCUPSImage, "cupsRasterClose", &cupsRasterClose);
    } else {
        // Looked up in the process's global scope, where the linked CUPS library
        // provides it; the linked entry point backs the lookup.
        void* symbol = dlsym(RTLD_DEFAULT, "cupsRasterClose");
        pfcupsRasterClose = symbol ? reinterpret_cast<decltype(&cupsRasterClose)>(symbol)
                                   : &cupsRasterClose;
    }
    return m_hCUPSImage ? 1 : 0;
}

void ReleaseCUPSDLLs() {
    if (m_hCUPS) {
        dlclose(m_hCUPS);
        m_hCUPS = nullptr;
    }
    if (m_hCUPSImage) {
        dlclose(m_hCUPSImage);
        m_hCUPSImage = nullptr;
    }
}
