// The short commands of PLATFORM_C and PLATFORM_Z: codes, lengths and fields.
#include "short_commands.h"

#include <cstring>

#include "common/byte_order.h"
#include "listing.h"

namespace {

using R = ShortRole;
using S = Scope;

// Codes 0x19, 0x1A, 0x1E and 0x1F mean different commands on the two platforms,
// and 0x11 has a different layout on each.
constexpr ShortCommand kShortCommands[] = {
    {0x0C, 18, PLATFORM_C, R::RasterImage, S::Page, "RASTER_IMAGE"},
    {0x0C, 18, PLATFORM_Z, R::RasterImage, S::Page, "RASTER_IMAGE"},
    {0x11, 6, PLATFORM_C, R::JobSpec, S::Document, "JOB_SPEC"},
    {0x11, 9, PLATFORM_Z, R::JobSpec, S::Document, "JOB_SPEC"},
    {0x12, 18, PLATFORM_C, R::PageSpec, S::Document, "PAGE_SPEC"},
    {0x12, 18, PLATFORM_Z, R::PageSpec, S::Document, "PAGE_SPEC"},
    {0x13, 12, PLATFORM_C, R::CustomPaper, S::Page, "CUSTOM_PAPER"},
    {0x13, 12, PLATFORM_Z, R::CustomPaper, S::Page, "CUSTOM_PAPER"},
    {0x15, 5, PLATFORM_C, R::Density, S::Document, "DENSITY"},
    {0x15, 5, PLATFORM_Z, R::Density, S::Document, "DENSITY"},
    {0x16, 4, PLATFORM_C, R::Abort, S::Document, "ABORT"},
    {0x17, 4, PLATFORM_C, R::Reset, S::Document, "RESET"},
    {0x17, 4, PLATFORM_Z, R::Reset, S::Document, "RESET"},
    {0x18, 4, PLATFORM_C, R::FormFeed, S::Page, "FORM_FEED"},
    {0x18, 4, PLATFORM_Z, R::FormFeed, S::Page, "FORM_FEED"},
    {0x19, 5, PLATFORM_C, R::TonerSave, S::Document, "TONER_SAVE"},
    {0x19, 7, PLATFORM_Z, R::CoverageZ, S::Page, "COVERAGE"},
    {0x1A, 6, PLATFORM_C, R::ImageChecksum, S::Page, "IMAGE_CHECKSUM"},
    {0x1A, 48, PLATFORM_Z, R::JbigBand, S::Page, "JBIG_BAND"},
    {0x1B, 4, PLATFORM_Z, R::ManualDuplex, S::Document, "MANUAL_DUPLEX"},
    {0x1E, 36, PLATFORM_Z, R::TonerParamKavrin, S::Document, "TONER_PARAM"},
    {0x1E, 40, PLATFORM_Z, R::TonerParamSerith, S::Document, "TONER_PARAM"},
    {0x1E, 6, PLATFORM_C, R::CoverageC, S::Page, "COVERAGE"},
    {0x1F, 5, PLATFORM_Z, R::FineMode, S::Document, "FINE_MODE"},
    {0x1F, 8, PLATFORM_C, R::SystemDate, S::Document, "SYSTEM_DATE"},
    {0x30, 4, PLATFORM_C, R::ManualDuplex, S::Document, "MANUAL_DUPLEX"},
    {0x31, 5, PLATFORM_C, R::QueryStatus, S::Document, "QUERY_STATUS"},
    {0x32, 4, PLATFORM_C, R::HostUse, S::Page, "HOST_USE"},
    {0x40, 4, PLATFORM_C, R::MachineDuplex, S::Document, "MACHINE_DUPLEX"},
};

// The toner parameter records are constants; any other byte is a fault of the sender.
constexpr uint8_t kTonerParamKavrin[36] = {
    0x0B, 0x24, 0x1E, 0x00, 0x1E, 0x24, 0x26, 0x2F, 0x50, 0x06, 0x20, 0x20,
    0x20, 0x28, 0x2C, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20,
    0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x0A, 0x00, 0xC8};
constexpr uint8_t kTonerParamSerith[40] = {
    0x0B, 0x28, 0x1E, 0x00, 0x17, 0x26, 0x00, 0x30, 0x40, 0x20, 0x17, 0x20, 0x20, 0x00,
    0x00, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20,
    0x20, 0x20, 0x20, 0x20, 0x08, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x59};
constexpr uint8_t kQueryStatus[5] = {0x0B, 0x05, 0x31, 0x80, 0x3F};

std::string ByteList(const uint8_t* p, size_t n) {
    std::string out;
    for (size_t i = 0; i < n; ++i) out += Format(i ? ",%u" : "%u", p[i]);
    return out;
}

}  // namespace

const ShortCommand* FindShortCommand(Platform platform, uint8_t code, uint8_t length) {
    for (const ShortCommand& c : kShortCommands)
        if (c.platform == platform && c.code == code && c.length == length) return &c;
    return nullptr;
}

std::string KnownLengths(Platform platform, uint8_t code) {
    std::string out;
    for (const ShortCommand& c : kShortCommands)
        if (c.platform == platform && c.code == code) out += Format(out.empty() ? "%u" : " or %u", c.length);
    return out;
}

std::string DescribeShortFields(const ShortCommand& c, const uint8_t* p) {
    switch (c.role) {
    case R::RasterImage:
        return Format("plane=%u flags=0x%02X whole=%ux%u raster=%ux%u compressed=%u", p[3], p[4],
                      GetLE16(p + 5), GetLE16(p + 7), GetLE16(p + 9), GetLE16(p + 11), GetLE32(p + 13));
    case R::JobSpec:
        if (c.platform == PLATFORM_Z) return Format("flags=0x%02X job=%u", p[3], GetLE32(p + 4));
        return Format("job=%u flags=0x%02X", p[3], p[4]);
    case R::PageSpec:
        return Format("paper=%u media=%u res=%ux%u tray=%u color/feed/margin=0x%02X copies=%u "
                      "margins=%ux%u page=%u",
                      p[3], p[4], p[5], p[6], p[7], p[8], GetLE16(p + 9), GetLE16(p + 11),
                      GetLE16(p + 13), GetLE16(p + 15));
    case R::CustomPaper:
        return Format("physical=%ux%u printable=%ux%u", GetLE16(p + 3), GetLE16(p + 5), GetLE16(p + 7),
                      GetLE16(p + 9));
    case R::Density:
        return Format("level=%u", p[3]);
    case R::TonerSave:
    case R::FineMode:
        return Format("enable=%u", p[3]);
    case R::CoverageC:
        return Format("points=%u", GetLE16(p + 3));
    case R::CoverageZ:
        // Six bits, six bits and four bits of the count of thousands of dots.
        return Format("points=%02X,%02X,%02X thousands=%u", p[3], p[4], p[5],
                      (p[3] & 0x3Fu) | ((p[4] & 0x3Fu) << 6) | (uint32_t{p[5]} << 12));
    case R::ImageChecksum:
        return Format("value=0x%02X high=0x%02X", p[3], p[4]);
    case R::JbigBand:
        return Format("DL=%u D=%u P=%u XD=%u L0=%u YD=%u MX=%u MY=%u order=0x%02X options=0x%02X "
                      "size=%u padded=%u horz=%u vert=%u plane=%u slice=%u",
                      p[3], p[4], p[5], GetLE32(p + 7), GetLE32(p + 11), GetLE32(p + 15), p[19], p[20],
                      p[21], p[22], GetLE32(p + 23), GetLE32(p + 27), GetLE32(p + 31), GetLE32(p + 35),
                      GetLE32(p + 39), GetLE32(p + 43));
    case R::TonerParamKavrin:
    case R::TonerParamSerith:
        return Format("%s values=%s", c.role == R::TonerParamKavrin ? "Kavrin" : "Serith",
                      ByteList(p + 3, c.length - 4u).c_str());
    case R::SystemDate:
        return Format("date=%04u-%02u-%02u", GetLE16(p + 3), p[5], p[6]);
    case R::QueryStatus:
        return Format("param=0x%02X", p[3]);
    default:
        return std::string();
    }
}

int FixedContentMismatch(const ShortCommand& c, const uint8_t* p) {
    const uint8_t* image = nullptr;
    if (c.role == R::TonerParamKavrin) image = kTonerParamKavrin;
    if (c.role == R::TonerParamSerith) image = kTonerParamSerith;
    if (c.role == R::QueryStatus) image = kQueryStatus;
    if (image == nullptr) return -1;
    for (int i = 0; i < c.length; ++i)
        if (p[i] != image[i]) return i;
    return -1;
}
