// Printer command bytes as the command reference gives them, for the byte images.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using ByteVec = std::vector<uint8_t>;

void Append(ByteVec& out, const ByteVec& bytes);
ByteVec Str(const std::string& text);
ByteVec Le16(uint32_t v);
ByteVec Le32(uint32_t v);
ByteVec Be16(uint32_t v);
ByteVec Be32(uint32_t v);
ByteVec Cat(std::initializer_list<ByteVec> parts);

// Pieces the jobs carry (one copy per file, ready for its constants).
const ByteVec kZeros = {0x00, 0x00};  // separator and keep-alive filler
const ByteVec kUelC = {0x1B, 0xFF, 0x2D, 0x31, 0x32, 0x33, 0x34, 0x35, 0x58};
const ByteVec kUel = {0x1B, 0x25, 0x2D, 0x31, 0x32, 0x33, 0x34, 0x35, 0x58};
const ByteVec kFormFeed = {0x0B, 0x04, 0x18, 0xD9};
const ByteVec kReset = {0x0B, 0x04, 0x17, 0xDA};
const ByteVec kNonCustomPaper = {0x0B, 0x0C, 0x13, 0, 0, 0, 0, 0, 0, 0, 0, 0xD6};
const ByteVec kHostUse = {0x0B, 0x04, 0x32, 0xBF};
const ByteVec kCoverageZ4100 = {0x0B, 0x07, 0x19, 0x04, 0x00, 0x01, 0xD0};  // 4,100,000 dots
const ByteVec kCoverageC1000 = {0x0B, 0x06, 0x1E, 0xE8, 0x03, 0xE6};
const std::string kPjlHeaderText = "\x1B%-12345X@PJL\r\n";
const std::string kEndOfJobText = "\x1B%-12345X@PJL\r\n@PJL EOJ\r\n\x1B%-12345X\r\n";

// A short command: 0x0B, length, code, parameters and the checksum that makes the
// whole packet sum to 0 modulo 256.
ByteVec ShortCmd(uint8_t code, const ByteVec& params);
// A long command header (signature 0x5A5A) and a parameter record (type 1).
ByteVec LongHeader(uint32_t length, uint32_t type, uint32_t paramCount = 0);
ByteVec LongParam(uint16_t code, uint32_t value);

// Document openings, transcribed from the printer's command reference.
// C: job 7, flags 0x30, toner save on, density 3, dated 3 December 2026.
ByteVec OpeningC();
// Z: job 513, flags 0x30, fine mode, density 3, at 14:05 on 3 December 2026
// from host "printhost", a model without toner record.
ByteVec OpeningZ();
// M: the fixed 153 bytes.
ByteVec OpeningM();
