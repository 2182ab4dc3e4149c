// The text forms that values take on their way into and out of statements, shared by the
// database layer and the windows.
#pragma once

#include <string>

// General number format, up to 15 significant digits, "." as decimal point (1/3 -> 0.333333333333333).
std::string FloatToText(double value);

// Text as an SQL string literal: enclosed in single quotes, each single quote inside doubled,
// so that the text reaches the table exactly as it stands. A quote byte is never the trail
// byte of a CP932 character, so the doubling cannot split one.
std::string SqlQuoted(const std::string& text);
