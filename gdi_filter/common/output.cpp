// Output routing: the one way printer bytes leave the filter.
#include "common/output.h"

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

namespace {

std::size_t WriteToStdout(const void* data, std::size_t count) {
    return std::fwrite(data, count, 1, stdout);
}

DeviceWriter gDeviceWriter = WriteToStdout;

}  // namespace

DeviceWriter SetDeviceWriter(DeviceWriter writer) {
    DeviceWriter previous = gDeviceWriter;
    gDeviceWriter = writer ? writer : WriteToStdout;
    return previous;
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
    long result = 0;
    if (gSendDataToDevice == 1) result = n ? static_cast<long>(gDeviceWriter(pData, n)) : 0;
    if (gCollateFile != 0 && bCache == 1) result = write(gCollateFile, pData, n);
    if (gManualDuplexOddFile != 0 && g_page % 2 == 1 && bCache == 1)
        result = write(gManualDuplexOddFile, pData, n);
    if (gManualDuplexEvenFile != 0 && g_page % 2 == 0 && bCache == 1) {
        result = write(gManualDuplexEvenFile, pData, n);
        // The driver never spools past the table; never count outside it either.
        const int entry = g_page / 2 - 1;
        if (entry >= 0 && entry < kCacheSizeEntries) gCacheSize[entry] += static_cast<int32_t>(n);
    }
    std::fflush(stdout);
    g_ismiddlepage = 1;
    return result != 0 ? 1 : 0;
}

int Insert00() {
    static const uint8_t kZeroSeparator[2] = {0x00, 0x00};
    if (SendDataToFile(kZeroSeparator, 2, 1) != 0) return 1;
    PrependLastError("Insert00() :: Send 00 00 to file Fail0 ==  \n");
    return 0;
}
