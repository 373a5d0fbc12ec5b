// The filter's entry: one print job as CUPS hands it over, run whole.
#pragma once

#include "common/output.h"

// One print job as CUPS hands it over. The real filter passes its own
// arguments, the PPD variable and standard input and output; other callers
// (the fuzz targets) their own descriptor and memory sink.
struct JobRequest {
    int argc = 0;
    char** argv = nullptr;          // program, job-id, user, title, copies, options[, file]
    const char* ppdPath = nullptr;  // the PPD environment variable (nullptr: not set)
    int input = 0;                  // raster input when argv names no file
    DeviceWriter output = nullptr;  // the printer stream; nullptr: standard output
    bool interactive = true;        // false: no keep-alive timer, no manual-duplex pause
    int threads = 1;                // page-imaging threads (NORVEX_THREADS); 1: sequential
};

// Runs one whole job (start, pages, copies, manual duplex, end) and returns its
// exit status: 0 when every page was printed as sent, else 1. Every job-wide
// variable is reset at its start, so jobs can follow each other in a process.
int RunJob(const JobRequest& request);
