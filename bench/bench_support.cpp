#include "bench_support.h"

#include "app/sjis_text.h"

#include <algorithm>
#include <cmath>
#include <fstream>

std::string CpuModel()
{
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line;
    while (std::getline(cpuinfo, line))
        if (line.rfind("model name", 0) == 0) {
            const size_t colon = line.find(':');
            return colon == std::string::npos ? line : line.substr(colon + 2);
        }
    return "unknown";
}

std::vector<std::string> QuestionTexts()
{
    return {Sjis("日本で一番高い山は？"),
            "Which planet is known as the red planet?",
            Sjis("水の化学式はどれ？"),
            "How many legs has a spider?",
            Sjis("「吾輩は猫である」の作者は誰でしょう"),
            "2 + 2 * 2 = ?",
            Sjis("光の三原色に含まれない色はどれ？"),
            "Which is the largest ocean on Earth?",
            Sjis("一年で一番昼が長い日は？"),
            "Capital of Australia?"};
}

std::vector<double> CommaNumbers(const std::string& list)
{
    std::vector<double> numbers;
    for (size_t start = 0; start < list.size();) {
        const size_t comma = list.find(',', start);
        numbers.push_back(std::stod(list.substr(start, comma - start)));
        start = comma == std::string::npos ? list.size() : comma + 1;
    }
    return numbers;
}

double Percentile(const std::vector<double>& sorted, double fraction)
{
    if (sorted.empty()) return 0;
    const auto rank = static_cast<size_t>(std::ceil(fraction * static_cast<double>(sorted.size())));
    return sorted[std::clamp<size_t>(rank, 1, sorted.size()) - 1];
}
