// Pieces every benchmark program shares.
#pragma once

#include <string>

// The processor's model name from /proc/cpuinfo, for the figures' heading.
std::string CpuModel();
