// How the driver tells CUPS (and the person behind it) that something failed.
#pragma once

struct JobState;

// What the printer is being sent now ("page 3", "the end of the job"), for the
// sentence that reports a failure. Reports a printer connection lost while the
// previous part was sent, if that is not yet reported.
void NowSending(JobState& job, const char* what, int page = 0);

// A command-layer call failed: `chain` (the driver's own "main() :: ..." text)
// goes in front of prntLastError, and every message that is new since the last
// report goes to the log as a DEBUG line, unchanged. The person gets one ERROR
// sentence: `sentence` when given, else that what is being sent did not reach
// the printer (or that the connection closed while it was sent). The job ends
// with status 1.
void ReportFailure(JobState& job, const char* chain, const char* sentence = nullptr);

// The printer connection closed: one ERROR sentence naming what was being
// sent, once per job (nothing when the connection is fine).
void ReportStreamLoss(JobState& job);
