#include "node/ParameterCheck.h"

#include <cmath>
#include <sstream>

#include "beat_tracker/BeatTracker.h"

namespace {

constexpr double kShortestInterval = 6.0;
constexpr double kHistoryFrames = beat_tracker::BeatTracker::kHistoryLength;

std::string tooSmall(const char* name, int value, int least, const char* what) {
  std::ostringstream m;
  m << "parameter " << name << " = " << value << " is out of range: " << what
    << " must be at least " << least;
  return m.str();
}

}  // namespace

IntervalRange DeriveIntervalRange(int samplingRate, int advance, int minBpm, int maxBpm) {
  IntervalRange r;
  const auto hop = static_cast<std::size_t>(static_cast<long long>(advance));
  r.frames_per_minute = static_cast<double>(samplingRate) / static_cast<double>(hop) * 60.0;
  r.max_interval = std::ceil(r.frames_per_minute / minBpm);
  r.min_interval = std::ceil(r.frames_per_minute / (maxBpm - 1.0));
  r.window_length = r.max_interval;
  return r;
}

std::string CheckNodeParameters(int samplingRate, int advance, int minBpm, int maxBpm) {
  if (advance < 1) return tooSmall("ADVANCE", advance, 1, "the hop in samples");
  if (samplingRate < 1) return tooSmall("SAMPLING_RATE", samplingRate, 1, "the rate in Hz");
  if (minBpm < 1) return tooSmall("MIN_BPM", minBpm, 1, "the slowest tempo");
  if (maxBpm < 2) return tooSmall("MAX_BPM", maxBpm, 2, "the fastest tempo");

  const IntervalRange r = DeriveIntervalRange(samplingRate, advance, minBpm, maxBpm);
  const double f = r.frames_per_minute;
  std::ostringstream context;
  context << " at SAMPLING_RATE " << samplingRate << " and ADVANCE " << advance << " (" << f
          << " frames per minute)";

  if (r.min_interval < kShortestInterval) {
    // The fastest tempo whose interval is still 6 frames or more.
    double fastest = std::floor(f / (kShortestInterval - 1.0)) + 1.0;
    while (fastest >= 2.0 && std::ceil(f / (fastest - 1.0)) < kShortestInterval) fastest -= 1.0;
    std::ostringstream m;
    m << "parameter MAX_BPM = " << maxBpm << " is out of range: its beat interval of "
      << r.min_interval << " frames" << context.str() << " is below the shortest the tracker"
      << " accepts, " << kShortestInterval << " frames; ";
    if (fastest >= 2.0)
      m << "MAX_BPM must be between 2 and " << static_cast<long long>(fastest);
    else
      m << "no MAX_BPM works here: raise SAMPLING_RATE or lower ADVANCE";
    return m.str();
  }

  if (r.max_interval - r.min_interval < 2.0) {
    std::ostringstream m;
    m << "parameters MIN_BPM = " << minBpm << " and MAX_BPM = " << maxBpm
      << " leave too few candidate beat intervals: from " << r.min_interval << " up to "
      << r.max_interval << " frames" << context.str()
      << "; the longest must exceed the shortest by at least 2 frames (lower MIN_BPM or raise "
         "MAX_BPM)";
    return m.str();
  }

  // Every read the engine makes must stay inside its 3000-frame histories.
  auto fits = [&](double shortest, double longest) {
    return longest < kHistoryFrames && beat_tracker::BeatTracker::IntervalRangeFits(
                                           static_cast<int>(shortest), static_cast<int>(longest));
  };
  if (!fits(r.min_interval, r.max_interval)) {
    std::ostringstream m;
    // The slowest tempo that still fits, with MAX_BPM as given.
    long long slowest = 0;
    for (long long bpm = minBpm; bpm < maxBpm; ++bpm) {
      const double longest = std::ceil(f / static_cast<double>(bpm));
      if (longest - r.min_interval >= 2.0 && fits(r.min_interval, longest)) {
        slowest = bpm;
        break;
      }
    }
    if (slowest > 0) {
      m << "parameter MIN_BPM = " << minBpm << " is out of range: its beat interval of "
        << r.max_interval << " frames" << context.str()
        << " reaches further back than the tracker's histories of " << kHistoryFrames
        << " frames allow; MIN_BPM must be at least " << slowest;
    } else {
      m << "parameters MIN_BPM = " << minBpm << " and MAX_BPM = " << maxBpm
        << " give beat intervals from " << r.min_interval << " to " << r.max_interval << " frames"
        << context.str() << ", too long for the tracker's histories of " << kHistoryFrames
        << " frames: raise MAX_BPM and MIN_BPM, or ADVANCE";
    }
    return m.str();
  }
  return std::string();
}

std::string CheckReliabilityThreshold(float threshold) {
  if (!std::isnan(threshold)) return std::string();
  return "parameter RELIABILITY-THRESHOLD = nan is not a number: a reliability between 0 and 1 "
         "is expected (a due beat is reported when the reliability reaches it)";
}
