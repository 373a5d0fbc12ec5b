// The printer's model name, as the job driver read it from the PPD's ModelName.
#pragma once

// Defined by the job driver. Readers compare it bounded to its 1024 bytes: the
// command layer does not rely on the driver having terminated it.
extern char gPPDFile[1024];
