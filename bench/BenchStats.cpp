#include "bench/BenchStats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

SSummary Summarise(std::vector<double> values)
{
    SSummary summary;
    summary.count = values.size();
    if (values.empty())
        return summary;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    summary.median = values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
    summary.min = values.front();
    summary.max = values.back();
    return summary;
}

std::vector<double> RoundRatios(const std::vector<double>& numerators, const std::vector<double>& denominators)
{
    std::vector<double> ratios;
    const std::size_t rounds = std::min(numerators.size(), denominators.size());
    for (std::size_t round = 0; round < rounds; ++round) {
        if (denominators[round] != 0)
            ratios.push_back(numerators[round] / denominators[round]);
    }
    return ratios;
}

const std::vector<double>& CRoundValues::Get(const std::string& name) const
{
    static const std::vector<double> kNone;
    const auto found = m_values.find(name);
    return found != m_values.end() ? found->second : kNone;
}

std::string FormatFigure(double value)
{
    char text[64];
    const double magnitude = std::fabs(value);
    if (magnitude >= 100 || value == 0)
        std::snprintf(text, sizeof text, "%.0f", value);
    else if (magnitude >= 10)
        std::snprintf(text, sizeof text, "%.1f", value);
    else if (magnitude >= 1)
        std::snprintf(text, sizeof text, "%.2f", value);
    else
        std::snprintf(text, sizeof text, "%.3g", value);
    return text;
}
