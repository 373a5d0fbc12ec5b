// Output routing: the one way printer bytes leave the filter.
#include "common/output.h"

#include <cerrno>
#include <cstdio>
#include <unistd.h>

#include "common/last_error.h"

int gSendDataToDevice = 1;
int gCollateFile = 0;
int gManualDuplexOddFile = 0;
int gManualDuplexEvenFile = 0;
int g_page = 0;
std::array<int32_t, kCacheSizeEntries> gCacheSize{};
volatile sig_atomic_t g_ismiddlepage = 1;
volatile sig_atomic_t Canceled = 0;
int gPrinterStreamError = 0;
int gSpoolError = 0;

namespace {

// A block counts as sent only once it has left the stdio buffer: an error of
// the connection shows at the flush.
std::size_t WriteToStdout(const void* data, std::size_t count) {
    return std::fwrite(data, count, 1, stdout) == 1 && std::fflush(stdout) == 0;
}

DeviceWriter gDeviceWriter = WriteToStdout;

// A spool file takes the whole block or the send fails; interrupted and
// partial writes go on where they stopped.
bool WriteSpool(int fd, const void* data, std::size_t count) {
    const auto* p = static_cast<const char*>(data);
    while (count > 0) {
        const ssize_t n = write(fd, p, count);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (gSpoolError == 0) gSpoolError = n < 0 ? errno : ENOSPC;
            return false;
        }
        p += n;
        count -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

DeviceWriter SetDeviceWriter(DeviceWriter writer) {
    DeviceWriter previous = gDeviceWriter;
    gDeviceWriter = writer ? writer : WriteToStdout;
    return previous;
}

void ResetRouting() {
    gSendDataToDevice = 1;
    gCollateFile = 0;
    gManualDuplexOddFile = 0;
    gManualDuplexEvenFile = 0;
    g_page = 0;
    gCacheSize.fill(0);
    g_ismiddlepage = 1;
    Canceled = 0;
    gPrinterStreamError = 0;
    gSpoolError = 0;
    prntLastError[0] = '\0';
}

int SendDataToFile(const void* pData, int count, int bCache) {
    std::fflush(stdout);
    g_ismiddlepage = 1;
    if (pData == nullptr) {
        SetLastError("SendDataToFile() :: NULL == pData");
        return 0;
    }
    // A negative count is a caller's bug; it writes nothing and counts as not taken.
    const std::size_t n = count > 0 ? static_cast<std::size_t>(count) : 0;
    bool written = false;
    bool failed = n == 0;
    if (gSendDataToDevice == 1 && n > 0) {
        if (gPrinterStreamError == 0) {
            errno = 0;
            if (gDeviceWriter(pData, n) == 1)
                written = true;
            else
                gPrinterStreamError = errno != 0 ? errno : EIO;
        }
        failed = failed || !written;
    }
    // A spool file that fails is given up: what it holds can no longer be sent
    // again, which the driver reports at the end of the job. The printer's
    // copy of the block is whole, so the send fails only where the spool was
    // the block's one destination (the backs of manual duplex).
    if (bCache == 1 && n > 0 && gSpoolError == 0) {
        const bool odd = g_page % 2 == 1;
        for (const int fd : {gCollateFile, odd ? gManualDuplexOddFile : gManualDuplexEvenFile}) {
            if (fd == 0) continue;
            if (WriteSpool(fd, pData, n))
                written = true;
            else if (gSendDataToDevice != 1)
                failed = true;
        }
        // The driver never spools past the table; never count outside it either.
        const int entry = g_page / 2 - 1;
        if (gManualDuplexEvenFile != 0 && !odd && entry >= 0 && entry < kCacheSizeEntries)
            gCacheSize[entry] += static_cast<int32_t>(n);
    }
    std::fflush(stdout);
    g_ismiddlepage = 1;
    return written && !failed ? 1 : 0;
}

int Insert00() {
    static const uint8_t kZeroSeparator[2] = {0x00, 0x00};
    if (SendDataToFile(kZeroSeparator, 2, 1) != 0) return 1;
    PrependLastError("Insert00() :: Send 00 00 to file Fail0 ==  \n");
    return 0;
}
