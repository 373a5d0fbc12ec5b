// Printer command bytes as the command reference gives them.
#include "support/stream_builder.h"

void Append(ByteVec& out, const ByteVec& bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); }

ByteVec Str(const std::string& text) { return ByteVec(text.begin(), text.end()); }

ByteVec Le16(uint32_t v) { return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)}; }
ByteVec Le32(uint32_t v) { return Cat({Le16(v), Le16(v >> 16)}); }
ByteVec Be16(uint32_t v) { return {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)}; }
ByteVec Be32(uint32_t v) { return Cat({Be16(v >> 16), Be16(v)}); }

ByteVec Cat(std::initializer_list<ByteVec> parts) {
    ByteVec out;
    for (const ByteVec& p : parts) Append(out, p);
    return out;
}

ByteVec ShortCmd(uint8_t code, const ByteVec& params) {
    ByteVec cmd = {0x0B, static_cast<uint8_t>(params.size() + 4), code};
    Append(cmd, params);
    uint8_t sum = 0;
    for (uint8_t b : cmd) sum = static_cast<uint8_t>(sum + b);
    cmd.push_back(static_cast<uint8_t>(-sum));
    return cmd;
}

ByteVec LongHeader(uint32_t length, uint32_t type, uint32_t paramCount) {
    return Cat({Be32(length), Be32(type), Be32(paramCount), Be16(12 * paramCount), {0x5A, 0x5A}});
}

ByteVec LongParam(uint16_t code, uint32_t value) {
    return Cat({Be32(12), Be16(code), {1, 0}, Be32(value)});
}

ByteVec OpeningC() {
    return Cat({kUelC, {0x0B, 0x04, 0x16, 0xDB}, Str(kEndOfJobText + "versions=3.1.2.1"), kZeros,
                Str(kPjlHeaderText + "@PJL ENTER LANGUAGE=PL\r\n"), kZeros, {0x0B, 0x06, 0x11, 0x07, 0x30, 0xA7},
                kZeros, {0x0B, 0x05, 0x19, 0x01, 0xD6}, kZeros, {0x0B, 0x05, 0x15, 0x03, 0xD8},
                {0x0B, 0x08, 0x1F, 0xEA, 0x07, 0x0C, 0x03, 0xCE}});
}

ByteVec OpeningZ() {
    return Cat({Str(kPjlHeaderText + "@PJL JOBTIME=05:14:03:12:2026\r\n@PJL JOBOWNER=printhost\r\n"
                                     "@PJL ENTER LANGUAGE=PL\r\n"),
                kZeros, {0x0B, 0x05, 0x1F, 0x01, 0xD0}, kZeros, {0x0B, 0x09, 0x11, 0x30, 0x01, 0x02, 0x00, 0x00, 0xA8},
                kZeros, {0x0B, 0x05, 0x15, 0x03, 0xD8}, kZeros});
}

// The toner parameter command, then the job header with its three parameters.
ByteVec OpeningM() {
    ByteVec out = Cat({kUel, Str("JZJZ"), LongHeader(88, 17)});
    for (uint16_t v : {0,   81,  115, 110, 150, 122, 100, 150, 200, 100, 81,  100, 100, 100, 100, 100, 100, 100,
                       100, 100, 100, 100, 100, 100, 120, 135, 150, 180, 200, 120, 150, 190, 350, 400, 100, 100})
        Append(out, Be16(v));
    return Cat({out, LongHeader(52, 0, 3), LongParam(0, 0), LongParam(1, 0), LongParam(2, 1)});
}
