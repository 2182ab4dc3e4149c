// Process-wide settings and the small conversions every window uses.
#pragma once

#include <cstdint>
#include <string>

// Where the database lives and which player this program plays for. Texts are CP932 bytes.
struct TAppSettings {
    std::string ServerName;
    std::string DataFolder;
    int32_t PlayerNo = 0;
    std::string PlayerName;
    std::string PlayerPassword;
};

extern TAppSettings AppSettings;
// The database path of the current settings: ServerName + DataFolder + "GAMES.FDB".
std::string GameDatabasePath();

// The executable's directory, ending in the path separator; set when the main window is shown.
extern std::string AppDir;

// Whole-text integer parse: leading blanks, optional sign, decimal or hex ("$", "x", "0x").
// Anything malformed or out of the 32-bit range gives 0.
int32_t TextToInt(const std::string& text);

// Whole-text float parse with "." as decimal point whatever the locale; malformed gives 0.0.
double TextToFloat(const std::string& text);

// The longest leading part of at most |n| bytes that does not split a double-byte character.
std::string LeftSjis(const std::string& text, int32_t n);

// The text without its leading and trailing bytes up to 0x20 (blanks and control bytes). A CP932
// trail byte is never that low, so no double-byte character is cut; "　" (full width) stays.
std::string TrimBlanks(const std::string& text);

// Statements carry their values as literals, so user text must hold neither ' nor ". Neither
// byte can be the trail byte of a CP932 character, so a byte search is exact.
bool HasQuote(const std::string& text);

// Blocks the calling thread for at least n ms without processing events.
void DelayMs(uint32_t n);

// The millisecond tick counter DelayMs waits on (monotonic, wraps at 2^32).
uint32_t TickCountMs();
