// PDF and PostScript jobs: rendered by ghostscript's cups device, as the
// CUPS driver's chain renders them, straight into the job's filter.
#pragma once

#include <pappl/pappl.h>

// Registers the PDF and PostScript filters with the system.
void AddDocumentFilters(pappl_system_t* system);
