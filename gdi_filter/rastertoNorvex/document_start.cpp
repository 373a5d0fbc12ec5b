// Document start, sent once before the first page's commands.
#include <cstdio>

#include "common/output.h"
#include "rastertoNorvex/job.h"

void StartDocument(JobState& job) {
    job.iCopies = job.header.NumCopies;
    // The document-start record, the document start and the spool files of
    // collation and manual duplex are sent and made here.
    std::fflush(stdout);
    g_ismiddlepage = 0;
}
