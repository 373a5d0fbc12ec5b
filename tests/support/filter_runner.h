// Runs the built filter exactly as CUPS does: argv of 6 or 7 entries, the PPD
// named by the environment, raster on standard input or in a file. Captures
// standard output bytes, standard error lines and the exit status.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// A scratch directory removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

struct FilterRun {
    int status = -1;       // exit status, or 128 + signal
    std::vector<uint8_t> out;
    std::string err;
    std::vector<std::string> errLines;

    bool HasLine(const std::string& line) const;
    int CountLinesStartingWith(const std::string& prefix) const;
};

struct FilterInvocation {
    std::string program = NORVEX_FILTER_BIN;  // or another program run the same way
    // Entries after the program name: job-id user title copies options [file].
    std::vector<std::string> args = {"42", "tester", "Test job", "1", ""};
    std::string ppd;          // value of PPD; empty: variable not set
    std::string stdinPath;    // raster file on standard input; empty: /dev/null
    std::vector<std::string> env;  // extra NAME=value entries
    // Run with an empty host name (in a UTS namespace of its own; needs root).
    // A run that cannot have one exits with status 125.
    bool emptyHostName = false;
    // In process: the connection closes once the printer has this many bytes.
    std::size_t outputLimit = SIZE_MAX;
    // Started with SIGALRM blocked: the keep-alive timer never fires, so the
    // stream has no filler wherever a slow run would have had one.
    bool noKeepAlive = false;
    // Standard output is a pipe whose reader has gone (a printer switched off).
    bool closedOutput = false;
    // The job runs in this process (RunJob, not interactive: no keep-alive and
    // no pause before the backs of manual duplex); the printer stream is kept
    // in memory and standard error captured.
    bool inProcess = false;
};

FilterRun RunFilter(const FilterInvocation& invocation);

// A running filter whose standard input the test feeds (a pipe), for slow
// rasters and cancellation.
class FilterProcess {
public:
    explicit FilterProcess(const FilterInvocation& invocation);
    ~FilterProcess();
    FilterProcess(const FilterProcess&) = delete;
    FilterProcess& operator=(const FilterProcess&) = delete;

    // Writes raster bytes to the filter's standard input; false once it is closed.
    bool Feed(const void* data, std::size_t size);
    // Waits until standard error has a line starting with `prefix` (or timeout).
    bool WaitForLine(const std::string& prefix, int timeoutMs = 30000);
    // Waits until the printer stream written so far satisfies `done` (or timeout).
    bool WaitForOutput(const std::function<bool(const std::vector<uint8_t>&)>& done,
                       int timeoutMs = 30000);
    // Waits until the filter has its SIGTERM handler in place (or timeout).
    bool WaitForTermHandler(int timeoutMs = 10000);
    void Signal(int signal);
    // Closes the input, waits for the exit and collects the output.
    FilterRun Finish();

private:
    TempDir scratch_;
    int pid_ = -1;
    int input_ = -1;
};

