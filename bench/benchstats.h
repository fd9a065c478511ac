#pragma once

#include <vector>

// The sample at quantile q (0..1) of timings in milliseconds; 0 for no samples.
double percentile(std::vector<double> samples, double q);
