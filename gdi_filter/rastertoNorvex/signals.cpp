// Signals: CUPS cancels a job with SIGTERM, which only raises a flag that the
// driver polls between steps; on PLATFORM_C and PLATFORM_Z an interval timer
// keeps the printer connection alive while a page is being prepared.
#include "rastertoNorvex/signals.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <sys/time.h>
#include <unistd.h>

#include "common/output.h"

namespace {

extern "C" void CancelJob(int) { Canceled = 1; }

// Two zero bytes read as an empty separator between commands. The driver
// flushes standard output before it lowers g_ismiddlepage, so at 0 no command
// sits half-written in the stdio buffer, and write(2) is safe in a handler.
extern "C" void SendDummyCommand(int) {
    if (g_ismiddlepage != 0) return;
    static const char kFiller[2] = {0, 0};
    const int saved = errno;
    if (write(STDOUT_FILENO, kFiller, sizeof kFiller) < 0) {
        // A filler that cannot be written is dropped.
    }
    errno = saved;
}

void Install(int signal, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;  // raster reads are not broken off by the signal
    sigaction(signal, &action, nullptr);
}

}  // namespace

void InstallTerminationHandler() { Install(SIGTERM, CancelJob); }

void StartKeepAlive() {
    Install(SIGALRM, SendDummyCommand);
    itimerval tick{};
    tick.it_value.tv_sec = 10;
    tick.it_interval.tv_sec = 10;
    setitimer(ITIMER_REAL, &tick, nullptr);
}

void BetweenCommands() {
    std::fflush(stdout);
    g_ismiddlepage = 0;
}

void NoMoreFillers() { g_ismiddlepage = 1; }
