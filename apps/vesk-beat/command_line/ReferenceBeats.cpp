#include "apps/vesk-beat/command_line/ReferenceBeats.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>

#include "apps/vesk-beat/command_line/UsageError.h"
#include "common/OpenErrorText.h"

namespace vesk_beat {

std::vector<double> readReferenceBeats(const std::string& path) {
  std::ifstream in(path);
  if (!in)
    throw UsageError("--reference: cannot read '" + path +
                     "': " + vesk_common::OpenErrorText(errno));
  std::vector<double> times;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    const std::size_t start = line.find_first_not_of(" \t\r");
    if (start == std::string::npos || line[start] == '#') continue;
    char* end = nullptr;
    const double t = std::strtod(line.c_str() + start, &end);
    const bool separated =
        *end == '\0' || *end == ' ' || *end == '\t' || *end == '\r' || *end == ',';
    if (end == line.c_str() + start || !separated || !std::isfinite(t) || t < 0)
      throw UsageError("--reference: '" + path + "' line " + std::to_string(number) + ": '" +
                       line.substr(0, 40) + (line.size() > 40 ? "..." : "") +
                       "' is not a time in seconds");
    times.push_back(t);
  }
  if (in.bad())
    throw UsageError("--reference: cannot read '" + path +
                     "': " + vesk_common::OpenErrorText(errno));
  return times;
}

}  // namespace vesk_beat
