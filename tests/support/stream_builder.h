// Hand-built printer streams for the decoder's tests: framing helpers, JBIG data
// straight from JBIG-KIT's encoder, and a run of the norvexdecode binary.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using ByteVec = std::vector<uint8_t>;

void Append(ByteVec& out, const ByteVec& bytes);
void AppendText(ByteVec& out, const std::string& text);
ByteVec Le16(uint32_t v);
ByteVec Le32(uint32_t v);
ByteVec Be16(uint32_t v);
ByteVec Be32(uint32_t v);
ByteVec Cat(std::initializer_list<ByteVec> parts);

// A short command: 0x0B, length, code, parameters and the checksum that makes the
// whole packet sum to 0 modulo 256.
ByteVec ShortCmd(uint8_t code, const ByteVec& params);
// A long command header (signature 0x5A5A) and a parameter record (type 1).
ByteVec LongHeader(uint32_t length, uint32_t type, uint32_t paramCount = 0);
ByteVec LongParam(uint16_t code, uint32_t value);

// Packed rows of `width` bits (width a multiple of 8), a fraction of them set.
ByteVec RandomBitmap(uint32_t width, uint32_t height, uint32_t seed, int percentBlack);
// The complete T.82 image entity of a single-plane bitmap.
ByteVec JbigEncode(const ByteVec& bitmap, uint32_t width, uint32_t height, int order, int options, uint32_t l0,
                   int mx);

struct DecoderRun {
    int status = -1;
    std::string out;
    std::string err;
};
// Runs the norvexdecode binary with `args`; `input` goes to its standard input.
DecoderRun RunDecoder(const std::vector<std::string>& args, const ByteVec& input);
