// The fixed byte strings that frame a printer stream, as the printer expects them.
#pragma once

#include <cstddef>
#include <cstdint>

// Universal Exit Language, and PLATFORM_C's variant with 0xFF in its second byte.
inline constexpr uint8_t kUel[] = {0x1B, 0x25, 0x2D, 0x31, 0x32, 0x33, 0x34, 0x35, 0x58};
inline constexpr uint8_t kUelC[] = {0x1B, 0xFF, 0x2D, 0x31, 0x32, 0x33, 0x34, 0x35, 0x58};
inline constexpr size_t kUelSize = sizeof kUel;
// ESC "%-12345X@PJL" CR LF: how a PLATFORM_Z stream opens.
inline constexpr uint8_t kPjlHeader[] = {0x1B, 0x25, 0x2D, 0x31, 0x32, 0x33, 0x34, 0x35,
                                         0x58, 0x40, 0x50, 0x4A, 0x4C, 0x0D, 0x0A};
// The PJL end of job that closes PLATFORM_C and PLATFORM_Z streams:
// ESC "%-12345X@PJL" CR LF "@PJL EOJ" CR LF ESC "%-12345X" CR LF.
inline constexpr char kEndOfJob[] = "\x1B%-12345X@PJL\r\n@PJL EOJ\r\n\x1B%-12345X\r\n";
inline constexpr size_t kEndOfJobSize = sizeof kEndOfJob - 1;
// The marker after the UEL that opens a PLATFORM_M stream.
inline constexpr uint8_t kJzjz[] = {0x4A, 0x5A, 0x4A, 0x5A};
// The version text in a PLATFORM_C opening (no line end).
inline constexpr char kFwVersion[] = "versions=3.1.2.1";

constexpr uint8_t kShortLead = 0x0B;
constexpr uint16_t kLongSignature = 0x5A5A;
constexpr size_t kLongHeaderSize = 16;
constexpr size_t kLongParamSize = 12;
constexpr uint32_t kBandHeight = 256;  // PLATFORM_Z JBIG band
// Sum of the nine bytes of the UEL that follows PLATFORM_C image data, which the
// image checksum includes (670 modulo 256).
constexpr uint8_t kUelCByteSum = 0x9E;
