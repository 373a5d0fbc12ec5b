// The filter child: spawning, the output pump to the device, stderr parsing,
// cancellation by SIGTERM and the exit verdict.
#include "filter_process.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <poll.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "child_process.h"
#include "driver_texts.h"
#include "filter_paths.h"

struct FilterProcess {
    pappl_job_t* job = nullptr;
    pappl_device_t* device = nullptr;
    bool countPages = false;
    pid_t pid = -1;
    int input = -1;   // our end of its standard input
    int output = -1;  // our end of its standard output
    int errors = -1;  // our end of its standard error
    std::thread pump;
    // Written by the pump thread only, read after it has been joined.
    std::string lastError;
    bool deviceFailed = false;
    bool terminated = false;
    bool waitingForTurn = false;
    bool finished = false;
    bool succeeded = false;
};

namespace {

void CloseFd(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

void StopFilter(FilterProcess& p) {
    if (p.terminated || p.pid <= 0) return;
    p.terminated = true;
    // Its own process group: a wrapper script and its children stop with it.
    kill(-p.pid, SIGTERM);
}

// One line of the filter's standard error, without its line feed.
void HandleLine(FilterProcess& p, const std::string& line) {
    const auto text = [&line](std::size_t prefix) {
        std::size_t start = prefix;
        while (start < line.size() && line[start] == ' ') ++start;
        return line.substr(start);
    };
    if (line.rfind("PAGE:", 0) == 0) {
        if (p.countPages) papplJobSetImpressionsCompleted(p.job, 1);
        papplLogJob(p.job, PAPPL_LOGLEVEL_DEBUG, "%s", line.c_str());
    } else if (line.rfind("ERROR:", 0) == 0) {
        p.lastError = text(6);
        papplJobSetMessage(p.job, "%s", p.lastError.c_str());
        papplLogJob(p.job, PAPPL_LOGLEVEL_ERROR, "%s", p.lastError.c_str());
    } else if (line.rfind("INFO:", 0) == 0) {
        const std::string message = text(5);
        papplJobSetMessage(p.job, "%s", message.c_str());
        papplLogJob(p.job, PAPPL_LOGLEVEL_INFO, "%s", message.c_str());
        // The fronts are out; the user must turn the stack over: a driverless
        // client shows this as the printer's state.
        if (message == kTurnPagesText && !p.waitingForTurn) {
            p.waitingForTurn = true;
            papplPrinterSetReasons(papplJobGetPrinter(p.job), PAPPL_PREASON_MEDIA_NEEDED,
                                   PAPPL_PREASON_NONE);
        }
    } else if (!line.empty()) {
        papplLogJob(p.job, PAPPL_LOGLEVEL_DEBUG, "%s", line.c_str());
    }
}

// Copies the filter's standard output to the device and reads its log lines
// until both streams end; sends SIGTERM when the job is cancelled.
void Pump(FilterProcess& p) {
    std::vector<unsigned char> buffer(64 * 1024);
    std::string pending;
    while (p.output >= 0 || p.errors >= 0) {
        if (papplJobIsCanceled(p.job)) StopFilter(p);
        pollfd fds[2] = {{p.output, POLLIN, 0}, {p.errors, POLLIN, 0}};
        const int ready = poll(fds, 2, 100);
        if (ready < 0 && errno != EINTR) break;
        if (ready <= 0) continue;
        if (p.output >= 0 && (fds[0].revents & (POLLIN | POLLHUP | POLLERR))) {
            const ssize_t got = read(p.output, buffer.data(), buffer.size());
            if (got > 0 && !p.deviceFailed &&
                papplDeviceWrite(p.device, buffer.data(), static_cast<std::size_t>(got)) < 0) {
                p.deviceFailed = true;
                papplLogJob(p.job, PAPPL_LOGLEVEL_ERROR, "Unable to send the job to the printer.");
                StopFilter(p);
            }
            if (got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN)) CloseFd(p.output);
        }
        if (p.errors >= 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
            char chunk[4096];
            const ssize_t got = read(p.errors, chunk, sizeof chunk);
            if (got > 0) {
                pending.append(chunk, static_cast<std::size_t>(got));
                for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
                    HandleLine(p, pending.substr(0, end));
                    pending.erase(0, end + 1);
                }
            } else if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
                if (!pending.empty()) HandleLine(p, pending);
                CloseFd(p.errors);
            }
        }
    }
    if (!p.deviceFailed) papplDeviceFlush(p.device);
}

}  // namespace

void FilterDeleter::operator()(FilterProcess* process) const {
    if (process != nullptr && !process->finished) FinishFilter(*process);
    delete process;
}

int FilterInput(const FilterProcess& process) { return process.input; }

FilterHandle StartFilter(pappl_job_t* job, pappl_device_t* device, const NorvexModel& model,
                         const std::string& options, int input, bool countPages) {
    FilterHandle p(new FilterProcess);
    p->job = job;
    p->device = device;
    p->countPages = countPages;

    const char* user = papplJobGetUsername(job);
    const char* title = papplJobGetName(job);
    const std::string ppd = PpdPath(model);
    ChildCommand filter;
    filter.program = FilterPath();
    filter.args = {filter.program, std::to_string(papplJobGetID(job)), user ? user : "guest",
                   title ? title : "Untitled", "1", options};
    filter.environment = EnvironmentWith("PPD=" + ppd);

    int in[2] = {input, -1}, out[2] = {-1, -1}, err[2] = {-1, -1};
    const bool piped = input < 0;
    if ((piped && !MakePipe(in)) || !MakePipe(out) || !MakePipe(err)) {
        papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Unable to create pipes for the filter: %s",
                    std::strerror(errno));
        papplJobSetMessage(job, "Unable to start the printer driver.");
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]})
            if (fd >= 0) close(fd);
        p->finished = true;
        return nullptr;
    }
    filter.input = in[0];
    filter.output = out[1];
    filter.errors = err[1];
    Child child;
    const int spawned = SpawnChild(filter, child);
    p->pid = child.pid;
    close(in[0]);
    close(out[1]);
    close(err[1]);
    p->input = in[1];
    p->output = out[0];
    p->errors = err[0];
    if (spawned != 0) {
        p->pid = -1;
        papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Unable to run the filter \"%s\": %s", filter.program.c_str(),
                    std::strerror(spawned));
        papplJobSetMessage(job, "Unable to start the printer driver \"%s\".", filter.program.c_str());
        CloseFd(p->input);
        CloseFd(p->output);
        CloseFd(p->errors);
        p->finished = true;
        return nullptr;
    }
    papplLogJob(job, PAPPL_LOGLEVEL_DEBUG, "Started %s (pid %d) with PPD=%s and options \"%s\".",
                filter.program.c_str(), static_cast<int>(p->pid), ppd.c_str(), options.c_str());
    FilterProcess* raw = p.get();
    p->pump = std::thread([raw] { Pump(*raw); });
    return p;
}

bool FinishFilter(FilterProcess& p) {
    if (p.finished) return p.succeeded;
    p.finished = true;
    CloseFd(p.input);
    if (p.pump.joinable()) p.pump.join();
    int status = 0;
    while (waitpid(p.pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (p.waitingForTurn)
        papplPrinterSetReasons(papplJobGetPrinter(p.job), PAPPL_PREASON_NONE, PAPPL_PREASON_MEDIA_NEEDED);
    const std::string reason = p.lastError.empty() ? "" : ": " + p.lastError;
    if (WIFSIGNALED(status)) {
        papplLogJob(p.job, PAPPL_LOGLEVEL_ERROR, "The filter was killed by signal %d (%s).",
                    WTERMSIG(status), strsignal(WTERMSIG(status)));
        papplJobSetMessage(p.job, "The printer driver stopped with signal %d (%s)%s", WTERMSIG(status),
                           strsignal(WTERMSIG(status)), reason.c_str());
    } else if (WEXITSTATUS(status) != 0) {
        papplLogJob(p.job, PAPPL_LOGLEVEL_ERROR, "The filter exited with status %d.", WEXITSTATUS(status));
        papplJobSetMessage(p.job, "The printer driver failed (status %d)%s", WEXITSTATUS(status),
                           reason.c_str());
    } else if (p.deviceFailed) {
        papplJobSetMessage(p.job, "Unable to send the job to the printer.");
    } else {
        p.succeeded = true;
    }
    return p.succeeded;
}
