#pragma once
// Comparisons on a noisy machine: the two sides run in turns, A B A B ...,
// so a slow spell hits both alike, and the figure is the median of the
// per-pair ratios with its spread, never one ratio of two long runs.

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace tessellon::bench {

// Fewest pairs a comparison runs.
inline constexpr int kMinimumPairs = 11;

// The median, quartiles and extremes of a set of figures.
struct Spread {
    double Median = 0;
    double Q1 = 0;
    double Q3 = 0;
    double Min = 0;
    double Max = 0;
};

inline Spread SpreadOf(std::vector<double> values) {
    if (values.empty()) {
        return {};
    }
    std::sort(values.begin(), values.end());
    // Linear interpolation between the closest ranks.
    const auto quantile = [&](double q) {
        const double rank = q * static_cast<double>(values.size() - 1);
        const auto below = static_cast<std::size_t>(rank);
        const std::size_t above = std::min(below + 1, values.size() - 1);
        return values[below] +
               (rank - static_cast<double>(below)) * (values[above] - values[below]);
    };
    return {quantile(0.5), quantile(0.25), quantile(0.75), values.front(), values.back()};
}

// One side's figure per pair, higher being better (a rate).
struct PairedFigures {
    std::vector<double> Ours;
    std::vector<double> Peer;

    std::vector<double> Ratios() const {
        std::vector<double> ratios;
        for (std::size_t i = 0; i < Ours.size() && i < Peer.size(); ++i) {
            ratios.push_back(Ours[i] / Peer[i]);
        }
        return ratios;
    }
};

// Runs `ours` then `peer`, `pairs` times; each returns its rate.
inline PairedFigures RunPairs(int pairs, const std::function<double()>& ours,
                              const std::function<double()>& peer) {
    PairedFigures figures;
    for (int i = 0; i < pairs; ++i) {
        figures.Ours.push_back(ours());
        figures.Peer.push_back(peer());
    }
    return figures;
}

// "median 1.23x (IQR 1.10..1.31, min..max 0.98..1.45, 11 pairs)".
inline std::string RatioText(const PairedFigures& figures) {
    const Spread s = SpreadOf(figures.Ratios());
    char text[160];
    std::snprintf(text, sizeof text,
                  "median %.2fx (IQR %.2f..%.2f, min..max %.2f..%.2f, %zu pairs)", s.Median, s.Q1,
                  s.Q3, s.Min, s.Max, figures.Ours.size());
    return text;
}

}  // namespace tessellon::bench
