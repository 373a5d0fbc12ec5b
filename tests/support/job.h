// The one way the tests build and run a job: a Job record says what CUPS hands
// the program (argv, PPD, standard input, environment) and how it is run. The
// halftone reference the pages are checked against is here too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "norvexdecode.h"
#include "support/ppd_fixture.h"
#include "support/raster_writer.h"

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

struct Job {
    std::string program = NORVEX_FILTER_BIN;  // or another program run the same way
    // Entries after the program name: job-id user title copies options [file].
    std::vector<std::string> args = {"42", "tester", "Test job", "1", ""};
    std::string ppd;               // value of PPD; empty: variable not set
    std::string input;             // file on standard input; empty: /dev/null
    std::vector<std::string> env;  // extra NAME=value entries
    // SIGALRM blocked: the keep-alive timer never fires, so the stream has no
    // filler wherever a slow run would have had one.
    bool noKeepAlive = false;
    bool closedOutput = false;  // standard output is a pipe whose reader has gone
    // Run in this process (RunJob, not interactive: no keep-alive and no pause
    // before the backs of manual duplex), the printer stream kept in memory; the
    // connection closes once the printer has outputLimit bytes.
    bool inProcess = false;
    std::size_t outputLimit = SIZE_MAX;
};

// The filter on `pages` (dir/job.ras, on standard input) with the PPD of `ppd`
// (dir/printer.ppd) and the options text; its spool files go to dir/spool.
Job PrinterJob(const TempDir& dir, const PPDFixture& ppd, const std::vector<RasterPage>& pages,
               const std::string& options = "");

struct JobRun {
    int status = -1;  // exit status, or 128 + signal
    std::vector<uint8_t> out;
    std::string err;
    std::vector<std::string> errLines;
    int writesAfterClose = 0;  // in process: blocks offered after the connection closed
    DecodeResult decoded;      // filled by Print
    std::string listing;       // filled by Print: one line per command, as norvexdecode lists them

    bool HasLine(const std::string& line) const;
    int CountLinesStartingWith(const std::string& prefix) const;
    std::vector<int> PageOrder() const;  // page numbers as the printer receives them
    // Listing lines of command `name` (e.g. "PAGE_SPEC"); whether there are any and each shows `fields`.
    std::vector<std::string> Commands(const std::string& name) const;
    bool Lists(const std::string& name, const std::string& fields) const;
};

JobRun Execute(const Job& job);
// Runs the job and decodes what it wrote; a stream the decoder refuses fails the test.
JobRun Print(const Job& job);
// Runs norvexdecode with `args` and `input` on a pipe as its standard input.
JobRun RunDecoder(const std::vector<std::string>& args, const std::vector<uint8_t>& input);
// Decodes a stream and returns its listing (one line per command).
std::string Listing(const std::vector<uint8_t>& stream, DecodeResult* decoded = nullptr,
                    DecodeOptions options = DecodeOptions());
std::string RasterBytes(const Job& job);  // the job's raster file, whole

// A running job whose standard input the test feeds (a pipe), for slow
// rasters, stalls and cancellation.
class FilterProcess {
public:
    explicit FilterProcess(const Job& job);
    ~FilterProcess();
    FilterProcess(const FilterProcess&) = delete;
    FilterProcess& operator=(const FilterProcess&) = delete;

    // Writes raster bytes to the filter's standard input; false once it is closed.
    bool Feed(const void* data, std::size_t size);
    // Wait (up to a timeout) for a standard error line starting with `prefix`,
    // a printer stream written so far that satisfies `done`, the SIGTERM handler.
    bool WaitForLine(const std::string& prefix, int timeoutMs = 30000);
    bool WaitForOutput(const std::function<bool(const std::vector<uint8_t>&)>& done, int timeoutMs = 30000);
    bool WaitForTermHandler(int timeoutMs = 10000);
    void Signal(int signal);
    // Closes the input, waits for the exit and collects the output.
    JobRun Finish();

private:
    TempDir scratch_;
    int pid_ = -1;
    int input_ = -1;
};

// The dots a grey page becomes: the reference halftone of `grey` (w x h bytes).
std::vector<uint8_t> ExpectedDots(const std::vector<uint8_t>& grey, unsigned w, unsigned h, int platform,
                                  int negative = 0, int dpi1200 = 0);

// The decoded page's bitmap, rows of (width * bitsPerDot / 8) bytes.
std::vector<uint8_t> PageBits(const DecodedPage& page);
