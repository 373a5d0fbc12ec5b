// prntLastError: the command layer's failure messages, newest first.
#include "common/last_error.h"

#include <cstring>

char prntLastError[kLastErrorSize];

void PrependLastError(const char* message) {
    char composed[kLastErrorSize];
    const std::size_t limit = kLastErrorSize - 1;
    std::size_t n = std::strlen(message);
    if (n > limit) n = limit;
    std::memcpy(composed, message, n);
    std::size_t old = std::strlen(prntLastError);
    if (old > limit - n) old = limit - n;
    std::memcpy(composed + n, prntLastError, old);
    composed[n + old] = '\0';
    std::memcpy(prntLastError, composed, n + old + 1);
}

void SetLastError(const char* message) {
    prntLastError[0] = '\0';
    PrependLastError(message);
}

int FailStep(const char* message) {
    PrependLastError(message);
    return 0;
}
