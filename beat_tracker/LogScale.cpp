#include "beat_tracker/LogScale.h"

#include <cmath>

double convert_log_scale(double value, double offset) {
  if (value <= 0.0) return 0.0;
  const double y = std::log10(value) + offset;
  // Written so that a NaN (value or offset) also gives 0.
  return y > 0.0 ? y : 0.0;
}
