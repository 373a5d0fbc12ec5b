// Test environment of a document start: fixes the time zone, the clock, the
// host name the command layer reads, and restores them.
#pragma once

#include <ctime>
#include <string>

class JobEnvironment {
public:
    // Starts in UTC at the epoch, host name "host".
    JobEnvironment();
    ~JobEnvironment();
    JobEnvironment(const JobEnvironment&) = delete;
    JobEnvironment& operator=(const JobEnvironment&) = delete;

    void SetTimeZone(const char* tz);  // POSIX TZ text, applied with tzset
    void SetClock(std::time_t now);
    // Delivered the way gethostname does: cut to the caller's length, and
    // terminated only when there is room.
    void SetHostName(const std::string& name);
    // The host name cannot be had: the call fails and writes nothing.
    void FailHostName();

private:
    std::string savedTz_;
    bool hadTz_ = false;
};

// Seconds since the epoch of a UTC date and time (independent of TZ).
std::time_t UtcTime(int year, int month, int day, int hour, int minute);
