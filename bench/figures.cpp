#include "figures.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace mokta::bench {

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t mid = values.size() / 2;
  return values.size() % 2 == 1 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

double Max(const std::vector<double>& values) {
  return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

std::string Ms(double ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f ms", ms);
  return text;
}

std::string List(const std::vector<double>& values) {
  std::string text;
  for (double v : values) {
    char one[32];
    std::snprintf(one, sizeof one, "%s%.1f", text.empty() ? "" : " ", v);
    text += one;
  }
  return text;
}

std::string MachineLoad() {
  double load = -1;
  if (FILE* file = std::fopen("/proc/loadavg", "r")) {
    if (std::fscanf(file, "%lf", &load) != 1) load = -1;
    std::fclose(file);
  }
  char text[96];
  std::snprintf(text, sizeof text, "load average %.2f over the last minute, %ld cores", load,
                sysconf(_SC_NPROCESSORS_ONLN));
  return text;
}

}  // namespace mokta::bench
