// Pieces every benchmark program shares.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The game's real pace, as every player program runs it.
constexpr int TickMs = 500;
constexpr int JudgePauseMs = 1000;
constexpr int FinalPauseMs = 2000;
// From one game's result to the next game's first question: the final pause, the join, the
// lobby's counting and reading ticks, the countdown of 11 and the first load.
constexpr int64_t BetweenGamesMinimumMs = FinalPauseMs + (2 + 11 + 1) * TickMs;
constexpr unsigned Seed = 20240601;

// The processor's model name from /proc/cpuinfo, for the figures' heading.
std::string CpuModel();

// The benchmarks' questions, of different lengths (the reveal shows two bytes per tick); CP932.
std::vector<std::string> QuestionTexts();

// The numbers of a comma-separated list ("12,7,30"), as the player programs print their samples.
std::vector<double> CommaNumbers(const std::string& list);

// Nearest-rank percentile of sorted values.
double Percentile(const std::vector<double>& sorted, double fraction);
