// One rastertoNorvex child process per job: raster in, printer commands out
// to the device, its log lines turned into the job's state.
#pragma once

#include <memory>
#include <string>

#include <pappl/pappl.h>

#include "prnt/model_list.h"

struct FilterProcess;

struct FilterDeleter {
    void operator()(FilterProcess* process) const;
};
using FilterHandle = std::unique_ptr<FilterProcess, FilterDeleter>;

// Starts the filter for `job` with the model's PPD and `options` as its option
// text. It reads `input` when that is a descriptor (which it then owns), else
// a pipe that FilterInput returns. `countPages`: its "PAGE:" lines add the
// job's impressions (PAPPL counts the pages of raster it hands over itself).
// Null, with the reason logged and set as the job's message, on failure.
FilterHandle StartFilter(pappl_job_t* job, pappl_device_t* device, const NorvexModel& model,
                         const std::string& options, int input, bool countPages);

// The write end of the filter's standard input, or -1 once closed.
int FilterInput(const FilterProcess& process);

// Ends the job's filter: closes its input, waits for it and reports. True when
// it exited with status 0 and every byte reached the device; otherwise the job
// message says why (the filter's last "ERROR:" text, its status or signal).
bool FinishFilter(FilterProcess& process);
