#pragma once

#include <algorithm>
#include <vector>

namespace zandel::bench {

// The middle of the rounds' figures: one slow round on a busy machine does not move it.
inline double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace zandel::bench
