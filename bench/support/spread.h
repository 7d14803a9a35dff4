// A figure measured in several runs: its spread, and a verdict against a
// goal that does not flip with the load of the machine: met only when every
// run meets it, missed only when every run misses it, and unclear otherwise.
#ifndef KVR_BENCH_SPREAD_H
#define KVR_BENCH_SPREAD_H

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace kvr::bench {

struct Spread {
    double low = 0, median = 0, high = 0;
};

inline Spread spreadOf(std::vector<double> values) {
    if (values.empty()) return {};
    std::sort(values.begin(), values.end());
    return {values.front(), values[values.size() / 2], values.back()};
}

// "1.13% (1.02-1.20%)": the median, then the lowest and highest run.
inline std::string spreadText(const Spread &figure, int decimals, const char *unit) {
    char text[96];
    std::snprintf(text, sizeof text, "%.*f%s (%.*f-%.*f%s)", decimals, figure.median, unit, decimals, figure.low,
                  decimals, figure.high, unit);
    return text;
}

// For a goal that the figure stays below limit.
inline const char *verdictBelow(const Spread &figure, double limit) {
    if (figure.high < limit) return "met in every run";
    if (figure.low >= limit) return "NOT MET in any run";
    return "unclear: the runs fall on both sides of the goal (a busy machine?); run again";
}

}  // namespace kvr::bench

#endif
