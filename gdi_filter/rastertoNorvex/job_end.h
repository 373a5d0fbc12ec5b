// The end of the job (blank back, re-emission, document end) and the clean-up.
#pragma once

struct JobState;

void EndJob(JobState& job);

// Closes everything; returns the exit status.
int CleanUp(JobState& job);
