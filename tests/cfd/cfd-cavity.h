// The square cavity heated from one side as the end-to-end tests and the benchmark measure
// it: the largest of a velocity profile sampled at the cell spacing, refined by the
// parabola through the largest sample and its two neighbours.
#pragma once
#include <vector>

namespace vexlar_test {

inline double cavity_peak(const std::vector<double>& y)
{
    size_t m = 0;
    for (size_t q = 1; q < y.size(); q++)
        if (y[q] > y[m]) m = q;
    if (m == 0 || m + 1 == y.size()) return y[m];
    double den = y[m - 1] - 2 * y[m] + y[m + 1];
    return den == 0 ? y[m] : y[m] - (y[m - 1] - y[m + 1]) * (y[m - 1] - y[m + 1]) / (8 * den);
}

}  // namespace vexlar_test
