// The readable listing: one line per command, with its offset and decoded fields.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Printable text in double quotes, with CR, LF and other bytes escaped.
std::string QuoteText(const uint8_t* text, size_t len);

// "    offset  NAME              fields"
void ListItem(FILE* out, size_t offset, const char* name, const std::string& fields);
// A problem found at `offset`, marked so it stands out in the listing.
void ListProblem(FILE* out, size_t offset, const std::string& message);
