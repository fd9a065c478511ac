#include "benchstats.h"

#include <algorithm>

double percentile(std::vector<double> samples, double q)
{
    if (samples.empty())
        return 0.0;
    std::sort(samples.begin(), samples.end());
    return samples[std::min(samples.size() - 1, size_t(q * double(samples.size())))];
}
