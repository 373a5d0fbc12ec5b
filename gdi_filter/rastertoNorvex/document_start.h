// The document start, sent once before the first page's commands.
#pragma once

struct JobState;

// Arms the keep-alive, sends the document start and hands the spool files to
// the routing. False when the printer did not take it: nothing more is sent.
bool StartDocument(JobState& job);
