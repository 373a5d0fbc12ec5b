// prntLastError: the command layer's failure messages, newest first.
#pragma once

#include <cstddef>

constexpr std::size_t kLastErrorSize = 1024;
extern char prntLastError[kLastErrorSize];

// Puts `message` in front of the text already in prntLastError. When both do not
// fit, the oldest text is cut: the newest message always stays whole (a message
// longer than the buffer is itself cut at 1023 bytes).
void PrependLastError(const char* message);

// Replaces prntLastError with `message` (cut at 1023 bytes).
void SetLastError(const char* message);

// Puts `message` in front of prntLastError and returns 0: a failed step of a
// sender, reported the way every sender reports it.
int FailStep(const char* message);
