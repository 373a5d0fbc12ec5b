// The PJL job envelope's two computed values: the job time and the job owner.
#pragma once

#include <cstddef>
#include <ctime>

// "mm:hh:DD:MM:YYYY\r\n" in local time, bounded to the 19-byte buffer.
constexpr std::size_t kSendTimeSize = 19;
extern char pjlPostSendTime[kSendTimeSize];
// Host name: at most 32 bytes are ever written, so the text stays terminated.
constexpr std::size_t kComputerNameSize = 33;
extern char pjlPostComputerName[kComputerNameSize];

void GetSendTimePJL(char* sendTimeCmd);

// Where the envelope takes the time and the host name from. Production uses
// time() and gethostname(); tests install fixed sources. nullptr restores them.
using JobClock = std::time_t (*)();
using HostNameSource = int (*)(char* name, std::size_t len);
void SetJobClock(JobClock clock);
void SetHostNameSource(HostNameSource source);
std::time_t JobTimeNow();
int JobHostName(char* name, std::size_t len);
