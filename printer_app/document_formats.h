// Jobs whose documents are of no format the app prints.
#pragma once

#include <pappl/pappl.h>

// The drivers' own format: PAPPL gives it to data it cannot type, and a job
// of any other unknown format is aborted by PAPPL itself.
inline constexpr char kUntypedFormat[] = "application/octet-stream";

// Makes untyped jobs end as document-format errors instead of raw output, and
// puts a front on PAPPL's JPEG and PNG filters for a job started after it was
// cancelled (see document_formats.cpp).
void RefuseUnknownFormats(pappl_system_t* system);
