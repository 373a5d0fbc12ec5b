// The children of a job: one rastertoNorvex filter, fed raster by PAPPL's
// callbacks or by ghostscript, whose printer commands go to the device and
// whose log lines become the job's state.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include <pappl/pappl.h>

#include "child_process.h"
#include "job_end.h"
#include "catalogue/model_list.h"

struct FilterProcess;

struct FilterDeleter {
    void operator()(FilterProcess* process) const;
};
using FilterHandle = std::unique_ptr<FilterProcess, FilterDeleter>;

// What became of a job's children, once all have ended.
struct ChildrenReport {
    // Printed, Cancelled, Stalled, DeviceFailed, DriverStopped or DriverFailed.
    JobResult result = JobResult::Printed;
    std::string detail;
    Child renderer;                 // pid -1 when there was none
    std::string rendererMessages;   // the end of its standard error
    std::size_t rendererPeak = 0;   // the most address space it was seen to use
};

// Starts the filter for `job` with the model's PPD and `options` as its option
// text. With `renderer`, that program's standard output is the filter's input
// the filter's input; without, the
// caller writes the raster to FilterInput. Either way the filter's "PAGE:" lines
// count the job's impressions, copies included.
// Null when a child cannot start: the job has then been ended with the reason.
FilterHandle StartFilter(pappl_job_t* job, pappl_device_t* device, const NorvexModel& model,
                         const std::string& options, const ChildCommand* renderer = nullptr);

// The write end of the filter's standard input, or -1 when a renderer feeds it.
int FilterInput(const FilterProcess& process);

// Closes the filter's input and waits until the children have ended: a
// cancelled or stalled job has them stopped (SIGTERM, then SIGKILL), a device
// that takes no bytes stops them too.
ChildrenReport FinishFilter(FilterProcess& process);

// Returns once no filter runs on the job's printer and no other job of it is
// being processed. A job PAPPL 1.3.1 started after it was cancelled ends only
// then: its end closes a file: device, which the printer's other job may
// still be writing to, from the start of its job on. (The other job ends: its
// children are stopped when cancelled or stalled.)
void WaitUntilPrinterIdle(pappl_job_t* job);
