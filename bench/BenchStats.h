#pragma once
/// The figures of a benchmark run: one value per round for every measured
/// quantity, summarised as the median and the spread (smallest and largest).
///
/// A ratio is formed round by round from two quantities measured in the same
/// round, so that a slow moment of the machine affects both sides alike; its
/// median and spread are those of the per-round ratios.

#include <cstddef>
#include <map>
#include <string>
#include <vector>

struct SSummary {
    double median = 0;
    double min = 0;
    double max = 0;
    std::size_t count = 0; ///< 0: nothing was measured
};

/// Median (the mean of the middle two for an even count), min and max.
SSummary Summarise(std::vector<double> values);

/// The value of each round of one quantity divided by that of another; rounds
/// in which either is missing or the divisor is 0 are left out.
std::vector<double> RoundRatios(const std::vector<double>& numerators, const std::vector<double>& denominators);

/// Values by quantity name, one per round in the order measured.
class CRoundValues {
public:
    void Add(const std::string& name, double value) { m_values[name].push_back(value); }
    /// The values of one quantity; empty when it was never measured.
    const std::vector<double>& Get(const std::string& name) const;

private:
    std::map<std::string, std::vector<double>> m_values;
};

/// A number as the table shows it: three significant digits for small values,
/// whole numbers from 100 on ("0.0123", "4.56", "78.9", "1234").
std::string FormatFigure(double value);
