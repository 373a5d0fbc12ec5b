// Output routing: the one way printer bytes leave the filter, and the job-wide
// state that decides where they go (printer stream, collate and duplex spools).
#pragma once

#include <array>
#include <csignal>
#include <cstddef>
#include <cstdint>

// 1: printer data goes to standard output; any other value: it does not.
extern int gSendDataToDevice;
// Spool file descriptors; 0 means the file is not open.
extern int gCollateFile;
extern int gManualDuplexOddFile;
extern int gManualDuplexEvenFile;
// Number of the page being processed, counted from 1; odd/even routing reads it.
extern int g_page;

// Size of each even page in the even spool file: page 2k is in entry k-1.
constexpr int kCacheSizeEntries = 1024;
extern std::array<int32_t, kCacheSizeEntries> gCacheSize;
// Highest page number whose size gCacheSize can hold.
constexpr int kMaxManualDuplexPages = 2 * kCacheSizeEntries;

// 1 while a command is being sent; the keep-alive writes its filler only at 0.
extern volatile sig_atomic_t g_ismiddlepage;
// Set to 1 by the termination handler when CUPS cancels the job.
extern volatile sig_atomic_t Canceled;

// The first error of the printer stream (an errno value; 0: none). Once it is
// set nothing more is written to the printer: the connection is gone or the
// printer refuses data, and a later block would only land after a hole.
extern int gPrinterStreamError;
// The first error writing a spool file (an errno value; 0: none): what was
// spooled after it is incomplete and must not be sent again.
extern int gSpoolError;

// Every routing variable back to its start value (the start of each job).
void ResetRouting();

// Writes `count` bytes to every destination that the routing state selects.
// Returns 1 when the block was taken whole: by the printer stream when device
// output is on, else by the spool files; 0 otherwise (also when it went
// nowhere). A failed or short write is recorded in gPrinterStreamError or
// gSpoolError; after a spool error nothing more is spooled.
int SendDataToFile(const void* pData, int count, int bCache);

// The zero separator 00 00 between short commands (cached).
int Insert00();

// The printer-stream writer behind SendDataToFile: standard output, written and
// flushed, by default. Returns 1 when the whole block was taken, else 0 (with
// errno set where there is one). The job's output sink or a test's memory
// buffer goes here; nullptr restores the default.
using DeviceWriter = std::size_t (*)(const void* data, std::size_t count);
DeviceWriter SetDeviceWriter(DeviceWriter writer);
