// Start-up of the job: arguments, raster input, termination handler, PPD.
#pragma once

struct JobRequest;
struct JobState;

// Returns -1 to go on, else the exit status of an early exit.
int OpenJob(JobState& job, const JobRequest& request);
