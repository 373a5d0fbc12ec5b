// Spool files for collated copies and manual duplex.
#pragma once

#include "rastertoNorvex/job_state.h"

// Makes the spool files the job needs (first page, before the document start);
// false, with an ERROR line, when one cannot be made. Each file is removed from
// its folder as soon as it is open: only the descriptor is kept, so nothing is
// left behind however the filter ends.
bool CreateSpoolFiles(JobState& job);

// Hands the spool files to the routing, after the document start.
void AttachSpoolFiles(JobState& job);

// Sends the spooled copies and the manual-duplex backs (end of the job).
void ResendSpooledPages(JobState& job);

// Closes every spool file still open (every way out of the job).
void RemoveSpoolFiles(JobState& job);
