#include "app/unitv.h"

#include <charconv>
#include <chrono>
#include <thread>

TAppSettings AppSettings;
std::string AppDir;

std::string GameDatabasePath() { return AppSettings.ServerName + AppSettings.DataFolder + "GAMES.FDB"; }

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Cleared at program end, as the settings hold player credentials.
struct ClearAtExit {
    ~ClearAtExit()
    {
        AppDir.clear();
        AppSettings = TAppSettings{};
    }
} clearAtExit;

}  // namespace

int32_t TextToInt(const std::string& text)
{
    size_t i = 0;
    const size_t n = text.size();
    while (i < n && text[i] == ' ') ++i;
    bool negative = false;
    if (i < n && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    bool hex = false;
    if (i < n && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i >= n) return 0;

    int64_t value = 0;
    if (hex) {
        // Hexadecimal covers the full 32-bit pattern: $FFFFFFFF reads as -1.
        for (; i < n; ++i) {
            const int d = HexValue(text[i]);
            if (d < 0) return 0;
            value = value * 16 + d;
            if (value > 0xFFFFFFFFLL) return 0;
        }
        const auto bits = static_cast<int32_t>(static_cast<uint32_t>(value));
        return negative ? static_cast<int32_t>(0u - static_cast<uint32_t>(bits)) : bits;
    }
    for (; i < n; ++i) {
        if (!IsDigit(text[i])) return 0;
        value = value * 10 + (text[i] - '0');
        if (value > 2147483648LL) return 0;
    }
    if (negative) value = -value;
    if (value > INT32_MAX || value < INT32_MIN) return 0;
    return static_cast<int32_t>(value);
}

double TextToFloat(const std::string& text)
{
    size_t i = 0;
    const size_t n = text.size();
    while (i < n && text[i] == ' ') ++i;
    const size_t start = i;
    if (i < n && (text[i] == '-' || text[i] == '+')) ++i;
    const size_t digitsStart = i;
    size_t digits = 0;
    while (i < n && IsDigit(text[i])) ++i, ++digits;
    if (i < n && text[i] == '.') {
        ++i;
        while (i < n && IsDigit(text[i])) ++i, ++digits;
    }
    if (digits == 0) return 0.0;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < n && (text[i] == '-' || text[i] == '+')) ++i;
        size_t expDigits = 0;
        while (i < n && IsDigit(text[i])) ++i, ++expDigits;
        if (expDigits == 0) return 0.0;
    }
    if (i != n) return 0.0;

    // from_chars takes no leading "+" and ignores the locale.
    const char* first = text.data() + (text[start] == '+' ? digitsStart : start);
    double value = 0.0;
    const auto [ptr, ec] = std::from_chars(first, text.data() + n, value);
    if (ec != std::errc() || ptr != text.data() + n) return 0.0;
    return value;
}

std::string LeftSjis(const std::string& text, int32_t n)
{
    // |INT32_MIN| does not fit an int32, so widen before taking the magnitude.
    int64_t limit = n < 0 ? -static_cast<int64_t>(n) : n;
    if (limit == 0 || text.empty()) return {};
    if (limit > static_cast<int64_t>(text.size())) limit = static_cast<int64_t>(text.size());

    std::string result;
    int64_t count = 0;
    size_t i = 0;
    while (i < text.size()) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const bool lead = (byte >= 0x80 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFD);
        if (lead) {
            if (count + 2 > limit) break;
            result.append(text, i, 2);  // limit <= size, so both bytes exist
            count += 2;
            i += 2;
        } else {
            if (count + 1 > limit) break;
            result += text[i];
            count += 1;
            i += 1;
        }
    }
    return result;
}

std::string TrimBlanks(const std::string& text)
{
    auto blank = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && blank(text[begin])) ++begin;
    while (end > begin && blank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

bool HasQuote(const std::string& text) { return text.find_first_of("'\"") != std::string::npos; }

uint32_t TickCountMs()
{
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void DelayMs(uint32_t n)
{
    // Elapsed time is compared, not an end tick, so a counter wrapping during the wait cannot
    // cut it short. The thread sleeps for the time still to wait instead of spinning a core or
    // waking every millisecond: a room of programs pausing together would otherwise keep the
    // processors of a shared machine busy with wake-ups. It still blocks for the whole wait.
    const uint32_t start = TickCountMs();
    for (uint32_t elapsed; (elapsed = static_cast<uint32_t>(TickCountMs() - start)) <= n;)
        std::this_thread::sleep_for(std::chrono::milliseconds(n - elapsed + 1));
}
