// The readable listing: one line per command, with its offset and decoded fields.
#include "listing.h"

#include <cstdarg>

std::string Format(const char* format, ...) {
    char small[256];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    if (n < 0) return std::string();
    if (static_cast<size_t>(n) < sizeof small) return std::string(small, static_cast<size_t>(n));
    std::string text(static_cast<size_t>(n) + 1, '\0');
    va_start(args, format);
    std::vsnprintf(&text[0], text.size(), format, args);
    va_end(args);
    text.resize(static_cast<size_t>(n));
    return text;
}

std::string QuoteText(const uint8_t* text, size_t len) {
    std::string out = "\"";
    for (size_t i = 0; i < len; ++i) {
        const uint8_t c = text[i];
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c == '"' || c == '\\')
            out += Format("\\%c", c);
        else if (c >= 0x20 && c < 0x7F)
            out += static_cast<char>(c);
        else
            out += Format("\\x%02X", c);
    }
    return out + "\"";
}

void ListItem(FILE* out, size_t offset, const char* name, const std::string& fields) {
    if (out == nullptr) return;
    std::fprintf(out, "%10zu  %-18s %s\n", offset, name, fields.c_str());
}

void ListProblem(FILE* out, size_t offset, const std::string& message) {
    if (out == nullptr) return;
    std::fprintf(out, "%10zu  !! %s\n", offset, message.c_str());
}
