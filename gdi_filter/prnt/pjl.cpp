// The PJL job envelope's computed values (job time, job owner) and the clock and
// host-name sources behind them.
#include "prnt/pjl.h"

#include <cstdio>
#include <unistd.h>

char pjlPostSendTime[kSendTimeSize];
char pjlPostComputerName[kComputerNameSize];

namespace {

std::time_t SystemClock() { return std::time(nullptr); }

int SystemHostName(char* name, std::size_t len) { return gethostname(name, len); }

// localtime keeps every field in range; the modulo lets the compiler see that
// the text fits its buffer too.
unsigned TwoDigits(int value) { return static_cast<unsigned>(value) % 100u; }

JobClock gJobClock = SystemClock;
HostNameSource gHostNameSource = SystemHostName;

}  // namespace

void SetJobClock(JobClock clock) { gJobClock = clock ? clock : SystemClock; }

void SetHostNameSource(HostNameSource source) {
    gHostNameSource = source ? source : SystemHostName;
}

std::time_t JobTimeNow() { return gJobClock(); }

int JobHostName(char* name, std::size_t len) { return gHostNameSource(name, len); }

void GetSendTimePJL(char* sendTimeCmd) {
    const std::time_t now = JobTimeNow();
    const std::tm* local = std::localtime(&now);
    if (local == nullptr) {
        // No calendar time: an empty text makes its send fail and be reported,
        // rather than putting a made-up date on the job.
        sendTimeCmd[0] = '\0';
        return;
    }
    // Only four year digits fit. A longer year is cut to its first four so the
    // line still ends in CR LF and the next PJL line is not run into it.
    char year[16];
    std::snprintf(year, sizeof year, "%04d", local->tm_year + 1900);
    std::snprintf(sendTimeCmd, kSendTimeSize, "%02u:%02u:%02u:%02u:%.4s\r\n",
                  TwoDigits(local->tm_min), TwoDigits(local->tm_hour), TwoDigits(local->tm_mday),
                  TwoDigits(local->tm_mon + 1), year);
}
