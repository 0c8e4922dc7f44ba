#pragma once

// Summaries of repeated measurements and the way they are printed.

#include <string>
#include <vector>

namespace mokta::bench {

// The median of `values` (the mean of the middle two for an even count); 0 when empty.
double Median(std::vector<double> values);
// The largest of `values`; 0 when empty.
double Max(const std::vector<double>& values);

// "12.3 ms": one decimal.
std::string Ms(double ms);
// "3.1 2.9 4.0": each value with one decimal.
std::string List(const std::vector<double>& values);

// "load average 2.45 over the last minute, 2 cores": how busy the machine was, for reading
// the figures (other work on the machine delays the UI thread too).
std::string MachineLoad();

}  // namespace mokta::bench
