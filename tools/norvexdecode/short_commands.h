// The short commands of PLATFORM_C and PLATFORM_Z: codes, lengths and fields.
#pragma once

#include <cstdint>
#include <string>

#include "common/platform.h"

enum class ShortRole {
    RasterImage, JobSpec, PageSpec, CustomPaper, Density, Abort, Reset, FormFeed, TonerSave,
    CoverageC, CoverageZ, ImageChecksum, JbigBand, ManualDuplex, TonerParamKavrin,
    TonerParamSerith, FineMode, SystemDate, QueryStatus, HostUse, MachineDuplex,
};

// Where a command may stand: between pages or inside one (page start to form feed).
enum class Scope { Document, Page };

struct ShortCommand {
    uint8_t code;
    uint8_t length;  // cmdLen, lead byte and checksum included
    Platform platform;
    ShortRole role;
    Scope scope;
    const char* name;
};

// The command with this code and length on this platform, or nullptr.
const ShortCommand* FindShortCommand(Platform platform, uint8_t code, uint8_t length);
// The lengths the code has on the platform, for messages ("9" or "36 or 40"); empty if unknown.
std::string KnownLengths(Platform platform, uint8_t code);
// The command's parameters as "name=value" pairs.
std::string DescribeShortFields(const ShortCommand& command, const uint8_t* packet);
// Where a fixed-content command differs from its one valid byte image: the
// offset within the packet, or -1 when it matches or has no fixed content.
int FixedContentMismatch(const ShortCommand& command, const uint8_t* packet);
