// The walk of PLATFORM_C and PLATFORM_Z streams: short checksummed commands,
// zero separators and keep-alive fillers, inside the PJL envelope.
#include "common/byte_order.h"
#include "listing.h"
#include "raster_image.h"
#include "short_commands.h"
#include "stream_bytes.h"
#include "walk.h"

namespace {

void CheckOpening(Walk& w) {
    if (w.result.platform == PLATFORM_C && !BytesAt(w, 0, kUelC, kUelSize))
        Problem(w, 0, "stream does not begin with UEL_CMD_C, the opening of platform C");
    if (w.result.platform == PLATFORM_Z && !BytesAt(w, 0, kPjlHeader, sizeof kPjlHeader))
        Problem(w, 0, "stream does not begin with ESC \"%-12345X@PJL\", the opening of platform Z");
}

// Zero separators and keep-alive fillers are the same two bytes 00 00, and
// fillers may follow separators, so a run of pairs is one listing line.
void ZeroRun(Walk& w) {
    const size_t at = w.pos;
    size_t pairs = 0;
    while (Remaining(w) >= 2 && w.data[w.pos] == 0 && w.data[w.pos + 1] == 0) {
        w.pos += 2;
        ++pairs;
    }
    if (pairs == 0) {
        Stop(w, at, "a single zero byte where a zero separator (00 00) or a command should start");
        return;
    }
    List(w, at, "ZERO", pairs == 1 ? "00 00" : Format("00 00 x%zu (separator and keep-alive fillers)", pairs));
    if (w.docEnded) Problem(w, at, "zero separator after the document end");
}

void ScopeCheck(Walk& w, size_t at, const ShortCommand& c) {
    if (w.docEnded)
        Problem(w, at, Format("%s after the document end (reset command)", c.name));
    else if (c.scope == Scope::Page && !w.page.open)
        Problem(w, at, Format("%s outside a page", c.name));
    else if (c.scope == Scope::Document && w.page.open && c.role != ShortRole::PageSpec)
        Problem(w, at, Format("%s inside page %d", c.name, w.page.page.index));
}

void Dispatch(Walk& w, size_t at, const ShortCommand& c, const uint8_t* cmd) {
    switch (c.role) {
    case ShortRole::JobSpec:
        if (w.docStarted) Problem(w, at, "second job specification");
        w.docStarted = true;
        break;
    case ShortRole::PageSpec:
        if (w.page.open) {
            Problem(w, at, Format("page specification while page %d is still open (no form feed)",
                                  w.page.page.index));
            ClosePage(w);
        }
        if (!w.docStarted) Problem(w, at, "page before the document start (no job specification yet)");
        BeginPage(w, at, static_cast<int>(GetLE16(cmd + 15)), static_cast<int>(GetLE16(cmd + 9)));
        break;
    case ShortRole::RasterImage:
        RasterImageCommand(w, at, cmd);
        break;
    case ShortRole::JbigBand:
        JbigBandCommand(w, at, cmd);
        break;
    case ShortRole::ImageChecksum:
        ImageChecksumCommand(w, at, cmd);
        break;
    case ShortRole::FormFeed:
        if (w.page.open) FinishRasterPage(w, at);
        break;
    case ShortRole::Reset:
        if (w.page.open) ClosePage(w);  // the scope check reported it
        w.docEnded = true;
        w.docEndAt = w.pos;
        break;
    default:
        break;
    }
}

void ShortCommandAt(Walk& w) {
    const size_t at = w.pos;
    if (Remaining(w) < 3) {
        Stop(w, at, Format("truncated short command: %zu bytes left", Remaining(w)));
        return;
    }
    const uint8_t* cmd = w.data + at;
    const uint8_t len = cmd[1], code = cmd[2];
    if (len < 4) {
        Stop(w, at, Format("short command 0x%02X declares length %u; the shortest is 4", code, len));
        return;
    }
    if (len > Remaining(w)) {
        Stop(w, at, Format("short command 0x%02X declares %u bytes but only %zu remain in the stream", code, len,
                           Remaining(w)));
        return;
    }
    uint8_t sum = 0;
    for (int i = 0; i < len - 1; ++i) sum = static_cast<uint8_t>(sum + cmd[i]);
    const uint8_t computed = static_cast<uint8_t>(-sum), sent = cmd[len - 1];

    const ShortCommand* c = FindShortCommand(w.result.platform, code, len);
    std::string fields = c ? DescribeShortFields(*c, cmd) : std::string();
    if (c && c->role == ShortRole::ImageChecksum && w.page.checksumDue)
        fields += Format(" value-computed=0x%02X", w.page.imageChecksum);
    fields += Format("%scode=0x%02X len=%u checksum=0x%02X computed=0x%02X%s", fields.empty() ? "" : " ", code,
                     len, sent, computed, sent == computed ? "" : " BAD");
    // A 48-byte band command is listed before its data, which its handler lists.
    List(w, at, c ? c->name : "UNKNOWN", fields);
    w.pos += len;

    const char* name = c ? c->name : "short command";
    if (sent != computed)
        Problem(w, at, Format("%s (0x%02X) checksum 0x%02X, computed 0x%02X", name, code, sent, computed));
    if (!c) {
        const std::string lengths = KnownLengths(w.result.platform, code);
        if (lengths.empty())
            Problem(w, at, Format("unknown command code 0x%02X on platform %s", code,
                                  PlatformName(w.result.platform)));
        else
            Problem(w, at, Format("command 0x%02X is %s bytes long on platform %s, not %u", code, lengths.c_str(),
                                  PlatformName(w.result.platform), len));
        return;
    }
    const int mismatch = FixedContentMismatch(*c, cmd);
    if (mismatch >= 0)
        Problem(w, at, Format("%s differs from its fixed content at byte %d", c->name, mismatch));
    ScopeCheck(w, at, *c);
    Dispatch(w, at, *c, cmd);
}

// After the reset command only the PJL end of job may follow.
void CheckEndOfJob(Walk& w) {
    const size_t rest = w.size - w.docEndAt;
    if (rest != kEndOfJobSize ||
        !BytesAt(w, w.docEndAt, reinterpret_cast<const uint8_t*>(kEndOfJob), kEndOfJobSize))
        Problem(w, w.docEndAt, Format("the reset command must be followed by the %zu-byte PJL end of job and "
                                      "nothing else (%zu bytes follow)",
                                      kEndOfJobSize, rest));
}

}  // namespace

void WalkShortStream(Walk& w) {
    CheckOpening(w);
    while (!w.stopped && w.pos < w.size) {
        const uint8_t b = w.data[w.pos];
        if (b == 0x00)
            ZeroRun(w);
        else if (b == kShortLead)
            ShortCommandAt(w);
        else if (!WalkEnvelopeItem(w))
            Stop(w, w.pos, Format("unexpected byte 0x%02X where a command should start", b));
    }
    if (!w.stopped && w.docEnded) CheckEndOfJob(w);
    FinishStream(w);
}
