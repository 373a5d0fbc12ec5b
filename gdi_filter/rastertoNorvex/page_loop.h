// The page loop: each page header read, the page set up, imaged and handed to
// the page pipeline.
#pragma once

struct JobState;

// Where the page loop leaves to.
enum class JobExit {
    EndOfJob,  // the document was started: blank back, re-emission, document end
    CleanUp,   // nothing more for the printer
};

JobExit RunPages(JobState& job);
