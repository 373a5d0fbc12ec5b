// Spool files for collated copies and manual duplex.
#pragma once

#include "rastertoNorvex/job.h"

// Creates the spool files the job needs (first page, after the document
// start); false when one cannot be made (the job cannot be printed).
bool CreateSpoolFiles(JobState& job);

// Sends the spooled copies and the manual-duplex backs (end of the job).
void ResendSpooledPages(JobState& job);

// Closes and removes every spool file still open (every way out of the job).
void RemoveSpoolFiles(JobState& job);
