// The filter child and the thread that watches over a job's children: it
// copies the filter's output to the device, reads both children's messages,
// stops the children of a cancelled or stalled job and reaps them.
#include "filter_process.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <poll.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

#include "catalogue/driver_texts.h"
#include "filter_paths.h"
#include "job_limits.h"

namespace {

using Clock = std::chrono::steady_clock;

// How often the watch looks at the job, and how long a stopped child has
// after SIGTERM before SIGKILL: a cancelled job's children are gone in 2 s.
constexpr int kTickMilliseconds = 100;
constexpr auto kGrace = std::chrono::seconds(1);

// A line longer than this is a line anyway: a child cannot grow our memory.
constexpr std::size_t kLongestLine = 4096;
constexpr std::size_t kRendererTail = 2048;

void CloseFd(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

// The filters running on each printer. PAPPL 1.3.1 may start a job that was
// cancelled while it waited beside the job the printer is printing, and when
// that job ends it closes a file: device under the other job's writes.
std::mutex gRunsLock;
std::condition_variable gRunEnded;
std::map<const pappl_printer_t*, int> gRuns;

// One filter counted on its printer while it lives.
class PrinterRun {
public:
    explicit PrinterRun(const pappl_printer_t* printer) : printer_(printer) {
        const std::lock_guard<std::mutex> lock(gRunsLock);
        ++gRuns[printer_];
    }
    ~PrinterRun() {
        {
            const std::lock_guard<std::mutex> lock(gRunsLock);
            if (--gRuns[printer_] == 0) gRuns.erase(printer_);
        }
        gRunEnded.notify_all();
    }
    PrinterRun(const PrinterRun&) = delete;
    PrinterRun& operator=(const PrinterRun&) = delete;

private:
    const pappl_printer_t* printer_;
};

}  // namespace

struct FilterProcess {
    pappl_job_t* job = nullptr;
    pappl_device_t* device = nullptr;
    Child filter, renderer;
    int input = -1;           // our end of the filter's standard input
    int output = -1;          // our end of its standard output
    int errors = -1;          // our end of its standard error
    int rendererErrors = -1;  // our end of the renderer's standard error
    std::thread watch;
    // Written by the watch thread only, read after it has been joined.
    std::string lastError, rendererMessages;
    std::size_t rendererPeak = 0;
    std::size_t handed = 0;                // bytes given to the device
    std::optional<JobResult> stopped;      // why the children were stopped
    Clock::time_point stoppedAt;
    bool deviceFailed = false;
    bool waitingForTurn = false;
    int pageInHand = 0;  // impressions of the page being printed, counted once it is done
    bool finished = false;
    ChildrenReport report;
    std::optional<PrinterRun> run;  // ends after the watch has written its last byte

    ~FilterProcess() {
        for (int* fd : {&input, &output, &errors, &rendererErrors}) CloseFd(*fd);
    }
};

namespace {

// Kills and reaps what was started, for a start that cannot go on.
void Abandon(FilterProcess& p) {
    for (Child* child : {&p.filter, &p.renderer}) {
        SignalChild(*child, SIGKILL);
        while (!ChildEnded(*child)) usleep(1000);
    }
    p.finished = true;
}

void Stop(FilterProcess& p, JobResult reason) {
    if (p.stopped) return;
    p.stopped = reason;
    p.stoppedAt = Clock::now();
    SignalChild(p.filter, SIGTERM);
    SignalChild(p.renderer, SIGTERM);
}

// One line of the filter's standard error, without its line feed.
void HandleLine(FilterProcess& p, const std::string& line) {
    const auto text = [&line](std::size_t prefix) {
        std::size_t start = prefix;
        while (start < line.size() && line[start] == ' ') ++start;
        return line.substr(start);
    };
    if (line.rfind("PAGE:", 0) == 0) {
        // "PAGE: page copies": the sides printed, copies included; the
        // blank backs the filter adds carry no page line.
        // A page is counted when the next one begins or the job ends well.
        int page = 0, copies = 0;
        if (std::sscanf(line.c_str(), "PAGE: %d %d", &page, &copies) == 2 && copies > 0 && copies <= 999) {
            if (p.pageInHand > 0) papplJobSetImpressionsCompleted(p.job, p.pageInHand);
            p.pageInHand = copies;
        }
        papplLogJob(p.job, PAPPL_LOGLEVEL_DEBUG, "%s", line.c_str());
    } else if (line.rfind("ERROR:", 0) == 0) {
        p.lastError = text(6);
        papplLogJob(p.job, PAPPL_LOGLEVEL_ERROR, "%s", p.lastError.c_str());
    } else if (line.rfind("INFO:", 0) == 0) {
        const std::string message = text(5);
        papplLogJob(p.job, PAPPL_LOGLEVEL_INFO, "%s", message.c_str());
        // The fronts are out; the user must turn the stack over: a driverless
        // client shows this as the printer's state. Progress lines only go to
        // the log: PAPPL 1.3.1 reads a job's message without its lock, so each
        // new message frees the old one under a client that may be copying it.
        // A job's message is set at most twice: here, and at its end.
        if (message == kTurnPagesText && !p.waitingForTurn) {
            p.waitingForTurn = true;
            papplJobSetMessage(p.job, "%s", message.c_str());
            papplPrinterSetReasons(papplJobGetPrinter(p.job), PAPPL_PREASON_MEDIA_NEEDED,
                                   PAPPL_PREASON_NONE);
        }
    } else if (!line.empty()) {
        papplLogJob(p.job, PAPPL_LOGLEVEL_DEBUG, "%s", line.c_str());
    }
}

// One line of ghostscript's standard error: logged, and its last lines kept
// for the verdict on the document.
void HandleRendererLine(FilterProcess& p, const std::string& line) {
    papplLogJob(p.job, PAPPL_LOGLEVEL_DEBUG, "ghostscript: %s", line.c_str());
    p.rendererMessages += line + "\n";
    if (p.rendererMessages.size() > kRendererTail)
        p.rendererMessages.erase(0, p.rendererMessages.size() - kRendererTail);
}

// Reads what `fd` has into `pending` and hands over its complete lines; at
// the end of the stream, the rest too, and `fd` is closed.
template <typename Handle>
void ReadLines(int& fd, std::string& pending, Handle handle) {
    char chunk[4096];
    const ssize_t got = read(fd, chunk, sizeof chunk);
    if (got > 0) {
        pending.append(chunk, static_cast<std::size_t>(got));
        for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
            handle(pending.substr(0, end));
            pending.erase(0, end + 1);
        }
        if (pending.size() > kLongestLine) {
            handle(pending);
            pending.clear();
        }
    } else if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
        if (!pending.empty()) handle(pending);
        pending.clear();
        CloseFd(fd);
    }
}

// The filter's output, to the device. A device that fails stops the children.
void CopyToDevice(FilterProcess& p, std::vector<unsigned char>& buffer) {
    const ssize_t got = read(p.output, buffer.data(), buffer.size());
    if (got > 0 && !p.deviceFailed) {
        if (papplDeviceWrite(p.device, buffer.data(), static_cast<std::size_t>(got)) < 0) {
            p.deviceFailed = true;
            Stop(p, JobResult::DeviceFailed);
        } else {
            p.handed += static_cast<std::size_t>(got);
        }
    }
    if (got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN)) CloseFd(p.output);
}

// The job's watch, until both children have ended and all they wrote is read.
// Progress is a byte to the device or a byte of input read by the filter; the
// renderer's messages are none, or a document printing to its standard error
// forever would never stall.
void Watch(FilterProcess& p) {
    pappl_devmetrics_t metrics;
    papplDeviceGetMetrics(p.device, &metrics);
    const std::size_t writtenBefore = metrics.write_bytes;
    const auto stallTime = std::chrono::seconds(JobStallSeconds());
    std::vector<unsigned char> buffer(64 * 1024);
    std::string filterLines, rendererLines;
    Clock::time_point progressAt = Clock::now();
    long long inputSeen = -1;
    std::size_t handedSeen = 0;
    bool killed = false;
    for (;;) {
        const bool ended = ChildEnded(p.filter) && ChildEnded(p.renderer);
        pollfd fds[3];
        nfds_t count = 0;
        for (int fd : {p.output, p.errors, p.rendererErrors})
            if (fd >= 0) fds[count++] = {fd, POLLIN, 0};
        const int ready = poll(fds, count, ended ? 0 : kTickMilliseconds);
        if (ended && ready <= 0) break;
        if (ready < 0 && errno != EINTR) usleep(kTickMilliseconds * 1000);
        for (nfds_t i = 0; ready > 0 && i < count; ++i) {
            if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
            if (fds[i].fd == p.output) CopyToDevice(p, buffer);
            else if (fds[i].fd == p.errors)
                ReadLines(p.errors, filterLines, [&p](const std::string& line) { HandleLine(p, line); });
            else
                ReadLines(p.rendererErrors, rendererLines,
                          [&p](const std::string& line) { HandleRendererLine(p, line); });
        }

        const Clock::time_point now = Clock::now();
        if (!p.stopped) {
            const long long input = ChildBytesRead(p.filter);
            if (input != inputSeen || p.handed != handedSeen) {
                inputSeen = input;
                handedSeen = p.handed;
                progressAt = now;
            }
            if (CancelRequested(p.job)) Stop(p, JobResult::Cancelled);
            else if (now - progressAt >= stallTime) Stop(p, JobResult::Stalled);
        } else if (!killed && now - p.stoppedAt >= kGrace) {
            killed = true;
            SignalChild(p.filter, SIGKILL);
            SignalChild(p.renderer, SIGKILL);
        }
        p.rendererPeak = std::max(p.rendererPeak, ChildMemory(p.renderer));
    }
    // papplDeviceFlush returns nothing: the device's own count of the bytes it
    // wrote tells whether the last of them (or any) reached the printer.
    if (!p.deviceFailed) papplDeviceFlush(p.device);
    papplDeviceGetMetrics(p.device, &metrics);
    if (metrics.write_bytes - writtenBefore < p.handed) p.deviceFailed = true;
}

ChildrenReport ReportOf(const FilterProcess& p) {
    ChildrenReport report;
    report.renderer = p.renderer;
    report.rendererMessages = p.rendererMessages;
    report.rendererPeak = p.rendererPeak;
    if (p.stopped) {
        report.result = *p.stopped;
        if (*p.stopped == JobResult::Stalled) report.detail = std::to_string(JobStallSeconds());
    } else if (p.deviceFailed) {
        report.result = JobResult::DeviceFailed;
    } else if (!ChildSucceeded(p.filter)) {
        // Its own error text says what a person can act on; a crash says nothing.
        const bool crashed = WIFSIGNALED(p.filter.status) || p.lastError.empty();
        report.result = crashed ? JobResult::DriverStopped : JobResult::DriverFailed;
        report.detail = p.lastError;
        while (!report.detail.empty() && (report.detail.back() == '.' || report.detail.back() == '!'))
            report.detail.pop_back();
    }
    return report;
}

}  // namespace

void FilterDeleter::operator()(FilterProcess* process) const {
    if (process != nullptr && !process->finished) FinishFilter(*process);
    delete process;
}

int FilterInput(const FilterProcess& process) { return process.input; }

FilterHandle StartFilter(pappl_job_t* job, pappl_device_t* device, const NorvexModel& model,
                         const std::string& options, const ChildCommand* renderer) {
    FilterHandle p(new FilterProcess);
    p->job = job;
    p->run.emplace(papplJobGetPrinter(job));
    p->device = device;

    const char* user = papplJobGetUsername(job);
    const char* title = papplJobGetName(job);
    const std::string ppd = PpdPath(model);
    ChildCommand filter;
    filter.program = FilterPath();
    filter.args = {filter.program, std::to_string(papplJobGetID(job)), user ? user : "guest",
                   title ? title : "Untitled", "1", options};
    filter.environment = EnvironmentWith("PPD=" + ppd);
    filter.fileSizeLimit = kJobFileBytes;

    int in[2] = {-1, -1}, out[2] = {-1, -1}, err[2] = {-1, -1}, rendererErr[2] = {-1, -1};
    if (!MakePipe(in) || !MakePipe(out) || !MakePipe(err) ||
        (renderer != nullptr && !MakePipe(rendererErr))) {
        const std::string reason = std::strerror(errno);
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1], rendererErr[0], rendererErr[1]})
            if (fd >= 0) close(fd);
        p->finished = true;
        EndJobAs(job, JobResult::DriverNotStarted, reason);
        return nullptr;
    }
    filter.input = in[0];
    filter.output = out[1];
    filter.errors = err[1];
    int error = SpawnChild(filter, p->filter);
    close(in[0]);
    close(out[1]);
    close(err[1]);
    p->input = in[1];
    p->output = out[0];
    p->errors = err[0];
    p->rendererErrors = rendererErr[0];
    if (error != 0) {
        close(rendererErr[1]);
        papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Unable to run the filter \"%s\": %s", filter.program.c_str(),
                    std::strerror(error));
        p->finished = true;
        EndJobAs(job, JobResult::DriverNotStarted, std::strerror(error));
        return nullptr;
    }
    if (renderer != nullptr) {
        ChildCommand command = *renderer;
        command.output = p->input;
        command.errors = rendererErr[1];
        error = SpawnChild(command, p->renderer);
        close(rendererErr[1]);
        // The renderer holds the filter's input now: its end is the filter's end of input.
        CloseFd(p->input);
        if (error != 0) {
            papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Unable to run \"%s\": %s", command.program.c_str(),
                        std::strerror(error));
            Abandon(*p);
            EndJobAs(job, JobResult::RendererNotStarted, std::strerror(error));
            return nullptr;
        }
    }
    papplLogJob(job, PAPPL_LOGLEVEL_DEBUG, "Started %s (pid %d) with PPD=%s and options \"%s\".",
                filter.program.c_str(), static_cast<int>(p->filter.pid), ppd.c_str(), options.c_str());
    FilterProcess* raw = p.get();
    try {
        p->watch = std::thread([raw] { Watch(*raw); });
    } catch (const std::system_error& e) {
        Abandon(*p);
        EndJobAs(job, JobResult::DriverNotStarted, e.code().message());
        return nullptr;
    }
    return p;
}

ChildrenReport FinishFilter(FilterProcess& p) {
    if (p.finished) return p.report;
    p.finished = true;
    CloseFd(p.input);
    if (p.watch.joinable()) p.watch.join();
    if (p.waitingForTurn)
        papplPrinterSetReasons(papplJobGetPrinter(p.job), PAPPL_PREASON_NONE, PAPPL_PREASON_MEDIA_NEEDED);
    for (const Child* child : {&p.filter, &p.renderer}) {
        if (child->pid <= 0) continue;
        const char* name = child == &p.filter ? "The filter" : "Ghostscript";
        papplLogJob(p.job, ChildSucceeded(*child) ? PAPPL_LOGLEVEL_DEBUG : PAPPL_LOGLEVEL_INFO, "%s %s.", name,
                    DescribeExit(child->status).c_str());
    }
    p.report = ReportOf(p);
    if (p.report.result == JobResult::Printed && p.pageInHand > 0)
        papplJobSetImpressionsCompleted(p.job, p.pageInHand);
    return p.report;
}

namespace {

// A pending job whose thread PAPPL has already started reaches processing
// within this time; one still pending after it waits for the cancelled job.
constexpr auto kPendingStart = std::chrono::seconds(1);

struct OtherJobs {
    pappl_job_t* self;
    bool processing = false;
    bool pending = false;
};

void LookAtJob(pappl_job_t* job, void* data) {
    auto& others = *static_cast<OtherJobs*>(data);
    if (job == others.self) return;
    const ipp_jstate_t state = papplJobGetState(job);
    if (state == IPP_JSTATE_PROCESSING) others.processing = true;
    else if (state == IPP_JSTATE_PENDING) others.pending = true;
}

}  // namespace

void WaitUntilPrinterIdle(pappl_job_t* job) {
    pappl_printer_t* printer = papplJobGetPrinter(job);
    // A filter is counted only once its job's document has been prepared (a
    // PDF goes through pdftopdf first), but the other job writes to the
    // device PAPPL handed it from its start on: PAPPL's own state of the
    // printer's active jobs (the cancelled job is no longer one) covers that.
    const Clock::time_point since = Clock::now();
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(gRunsLock);
            gRunEnded.wait(lock, [printer] { return gRuns.count(printer) == 0; });
        }
        OtherJobs others{job};
        papplPrinterIterateActiveJobs(printer, LookAtJob, &others, 1, 0);
        if (!others.processing && !(others.pending && Clock::now() - since < kPendingStart)) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(kTickMilliseconds));
    }
}
