// The text around the commands of PLATFORM_C and PLATFORM_Z streams: UEL
// sequences, PJL lines and the firmware version text.
#include <algorithm>
#include <cstring>

#include "listing.h"
#include "stream_bytes.h"
#include "walk.h"

namespace {

// Longer than any line the filter writes (the JOBOWNER line is at most 48 bytes).
constexpr size_t kMaxTextLine = 256;

bool Printable(uint8_t c) { return c >= 0x20 && c < 0x7F; }

bool EscapeSequence(Walk& w) {
    const size_t at = w.pos;
    if (BytesAt(w, at, kUelC, kUelSize)) {
        List(w, at, "UEL_CMD_C", "ESC 0xFF \"-12345X\"");
        w.pos += kUelSize;
        if (w.result.platform != PLATFORM_C) Problem(w, at, "UEL_CMD_C belongs to platform C streams only");
        return true;
    }
    if (BytesAt(w, at, kUel, kUelSize)) {
        List(w, at, "UEL", "ESC \"%-12345X\"");
        w.pos += kUelSize;
        return true;
    }
    const size_t left = Remaining(w);
    if (left < kUelSize && (std::equal(w.data + at, w.data + w.size, kUel) ||
                            std::equal(w.data + at, w.data + w.size, kUelC)))
        Stop(w, at, Format("stream ends inside a UEL (%zu of its 9 bytes)", left));
    else
        Stop(w, at, "escape sequence that is no UEL");
    return true;
}

void PjlLine(Walk& w) {
    const size_t at = w.pos;
    const size_t limit = std::min(Remaining(w), kMaxTextLine);
    size_t n = 0;
    while (n < limit && w.data[at + n] != '\n') {
        const uint8_t c = w.data[at + n];
        if (!Printable(c) && !(c == '\r' && n + 1 < Remaining(w) && w.data[at + n + 1] == '\n')) {
            Stop(w, at + n, Format("byte 0x%02X inside a PJL line", c));
            return;
        }
        ++n;
    }
    if (n == limit) {
        Stop(w, at, limit < kMaxTextLine ? "PJL line runs to the end of the stream"
                                         : "PJL line longer than 256 bytes");
        return;
    }
    const bool crlf = n > 0 && w.data[at + n - 1] == '\r';
    List(w, at, "PJL", QuoteText(w.data + at, crlf ? n - 1 : n));
    w.pos = at + n + 1;
    if (!crlf) Problem(w, at, "PJL line ends in LF without CR");
}

void TextRun(Walk& w) {
    const size_t at = w.pos;
    const size_t limit = std::min(Remaining(w), kMaxTextLine);
    size_t n = 0;
    while (n < limit && Printable(w.data[at + n]) && w.data[at + n] != '@') ++n;
    const bool version = n == sizeof kFwVersion - 1 && std::memcmp(w.data + at, kFwVersion, n) == 0;
    List(w, at, version ? "FW_VERSION" : "TEXT", QuoteText(w.data + at, n));
    w.pos = at + n;
    if (!version) Problem(w, at, Format("unexpected text %s", QuoteText(w.data + at, n).c_str()));
    else if (w.result.platform != PLATFORM_C) Problem(w, at, "version text belongs to platform C streams only");
}

}  // namespace

bool WalkEnvelopeItem(Walk& w) {
    const uint8_t c = w.data[w.pos];
    if (c == 0x1B) return EscapeSequence(w);
    if (c == '@') {
        PjlLine(w);
        return true;
    }
    if (c == '\r') {
        if (Remaining(w) < 2 || w.data[w.pos + 1] != '\n') {
            Stop(w, w.pos, "CR without LF");
            return true;
        }
        List(w, w.pos, "CRLF", "");
        w.pos += 2;
        return true;
    }
    if (Printable(c)) {
        TextRun(w);
        return true;
    }
    return false;
}
