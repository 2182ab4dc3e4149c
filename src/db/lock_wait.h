// How long a write waits for rows or a table that another program's open transaction holds.
#pragma once

// Until that transaction ends, for at most a second, or not at all (the write fails at once).
enum class LockWait { UntilReleased, OneSecond, Never };
