// Test environment of a document start: fixed clock, host name and zone.
#include "support/job_environment.h"

#include <cstdlib>
#include <cstring>

#include "prnt/pjl.h"

namespace {

std::time_t gNow = 0;
std::string gHostName;
bool gHostNameFails = false;

std::time_t FixedClock() { return gNow; }

int FixedHostName(char* name, std::size_t len) {
    if (gHostNameFails) return -1;
    const std::size_t n = gHostName.size() + 1 < len ? gHostName.size() + 1 : len;
    std::memcpy(name, gHostName.c_str(), n);
    return gHostName.size() < len ? 0 : -1;
}

}  // namespace

JobEnvironment::JobEnvironment() {
    if (const char* tz = std::getenv("TZ")) {
        hadTz_ = true;
        savedTz_ = tz;
    }
    SetTimeZone("UTC0");
    SetClock(0);
    SetHostName("host");
    SetJobClock(FixedClock);
    SetHostNameSource(FixedHostName);
}

JobEnvironment::~JobEnvironment() {
    SetJobClock(nullptr);
    SetHostNameSource(nullptr);
    if (hadTz_)
        setenv("TZ", savedTz_.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

void JobEnvironment::SetTimeZone(const char* tz) {
    setenv("TZ", tz, 1);
    tzset();
}

void JobEnvironment::SetClock(std::time_t now) { gNow = now; }

void JobEnvironment::SetHostName(const std::string& name) {
    gHostName = name;
    gHostNameFails = false;
}

void JobEnvironment::FailHostName() { gHostNameFails = true; }

std::time_t UtcTime(int year, int month, int day, int hour, int minute) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    return timegm(&t);
}
