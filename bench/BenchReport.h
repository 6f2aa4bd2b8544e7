// Figures printed by the benchmark and reliability programs. Each figure is one line
// "key=value" on standard output, which scripts/bench.sh gathers into its table; every
// other line is commentary for a reader.
#pragma once

#include <QString>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace BenchReport {

// The value below which the given fraction of the samples lies (nearest rank).
inline double percentile(std::vector<double> samples, double fraction)
{
    if (samples.empty())
        return 0;
    std::sort(samples.begin(), samples.end());
    const auto rank = static_cast<std::size_t>(fraction * double(samples.size() - 1) + 0.5);
    return samples[std::min(rank, samples.size() - 1)];
}

inline double median(const std::vector<double> &samples)
{
    return percentile(samples, 0.5);
}

inline void figure(const char *key, double value)
{
    std::printf("%s=%.4f\n", key, value);
    std::fflush(stdout);
}

// A name as part of a figure's key: lower case, anything but letters and digits as "_".
inline QString keyPart(const QString &name)
{
    QString key = name.toLower();
    for (QChar &c : key)
        if (!(c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            && !(c >= QLatin1Char('0') && c <= QLatin1Char('9')))
            c = QLatin1Char('_');
    return key;
}

inline void note(const QString &text)
{
    std::printf("# %s\n", qPrintable(text));
    std::fflush(stdout);
}

}  // namespace BenchReport
