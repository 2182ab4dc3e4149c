#include "db/value_text.h"

#include <charconv>

std::string FloatToText(double value)
{
    char buffer[64];
    const auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    if (ec != std::errc()) return "0";
    return std::string(buffer, ptr);
}

std::string SqlQuoted(const std::string& text)
{
    std::string literal = "'";
    for (const char c : text) {
        literal += c;
        if (c == '\'') literal += '\'';
    }
    literal += '\'';
    return literal;
}
