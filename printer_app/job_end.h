// How a job ends: every job path, printed or not, ends through EndJobAs.
#pragma once

#include <string>

#include <pappl/pappl.h>

// job_end.cpp's table has a row for each, in this order.
enum class JobResult {
    Printed,
    Cancelled,
    UnknownFormat,       // data PAPPL could not type
    NotPdf,
    NotPostScript,
    DamagedDocument,
    NoPages,
    NoPagesInRanges,
    TicketRefused,       // detail: what cannot be printed as asked
    TooMuchMemory,
    BadRaster,           // PAPPL found the client's raster invalid
    ColourRaster,
    ShortRaster,         // the client's raster ended inside a page
    Stalled,             // detail: the seconds without progress
    DriverStopped,       // the filter crashed or was killed
    DriverFailed,        // detail: the filter's own error text
    RendererStopped,     // ghostscript crashed or was killed
    DeviceFailed,
    DriverNotStarted,    // detail: why
    RendererNotStarted,  // detail: why
};

// Gives `job` its last message (one sentence for the person who sent it) and
// its reasons; a job that was not cancelled by PAPPL but must end so is
// cancelled here; a job that ends unprinted leaves no empty file on a file
// device. Returns what PAPPL's callbacks return: true only for Printed (PAPPL
// then marks the job completed, else aborted, or canceled when cancelled).
bool EndJobAs(pappl_job_t* job, JobResult result, const std::string& detail = {});

// True when someone cancelled the job while it was printing (PAPPL's
// papplJobIsCanceled is also true for a job PAPPL itself aborted).
bool CancelRequested(pappl_job_t* job);
