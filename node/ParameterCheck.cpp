#include "node/ParameterCheck.h"

#include <cmath>
#include <sstream>

#include "beat_tracker/BeatTracker.h"

namespace {

constexpr int kHistoryFrames = beat_tracker::BeatTracker::kHistoryLength;

std::string tooSmall(const char* name, int value, int least, const char* what) {
  std::ostringstream m;
  m << "parameter " << name << " = " << value << " is out of range: " << what
    << " must be at least " << least;
  return m.str();
}

}  // namespace

std::string CheckNodeParameters(int samplingRate, int advance, int minBpm, int maxBpm) {
  if (advance < 1) return tooSmall("ADVANCE", advance, 1, "the hop in samples");
  if (samplingRate < 1) return tooSmall("SAMPLING_RATE", samplingRate, 1, "the rate in Hz");
  if (minBpm < 1) return tooSmall("MIN_BPM", minBpm, 1, "the slowest tempo");
  if (maxBpm < 2) return tooSmall("MAX_BPM", maxBpm, 2, "the fastest tempo");

  const TempoRangeVerdict v = CheckTempoRange(samplingRate, advance, minBpm, maxBpm);
  const IntervalRange& r = v.range;
  std::ostringstream context;
  context << " at SAMPLING_RATE " << samplingRate << " and ADVANCE " << advance << " ("
          << r.frames_per_minute << " frames per minute)";
  std::ostringstream m;
  switch (v.failure) {
    case TempoRangeFailure::None:
      break;
    case TempoRangeFailure::FastestTooFast:
      m << "parameter MAX_BPM = " << maxBpm << " is out of range: its beat interval of "
        << r.min_interval << " frames" << context.str() << " is below the shortest the tracker"
        << " accepts, " << kShortestBeatInterval << " frames; ";
      if (v.bound > 0)
        m << "MAX_BPM must be between 2 and " << v.bound;
      else
        m << "no MAX_BPM works here: raise SAMPLING_RATE or lower ADVANCE";
      break;
    case TempoRangeFailure::TooFewIntervals:
      m << "parameters MIN_BPM = " << minBpm << " and MAX_BPM = " << maxBpm
        << " leave too few candidate beat intervals: from " << r.min_interval << " up to "
        << r.max_interval << " frames" << context.str()
        << "; the longest must exceed the shortest by at least 2 frames (lower MIN_BPM or raise "
           "MAX_BPM)";
      break;
    case TempoRangeFailure::SlowestTooSlow:
      if (v.bound > 0) {
        m << "parameter MIN_BPM = " << minBpm << " is out of range: its beat interval of "
          << r.max_interval << " frames" << context.str()
          << " reaches further back than the tracker's histories of " << kHistoryFrames
          << " frames allow; MIN_BPM must be at least " << v.bound;
      } else {
        m << "parameters MIN_BPM = " << minBpm << " and MAX_BPM = " << maxBpm
          << " give beat intervals from " << r.min_interval << " to " << r.max_interval << " frames"
          << context.str() << ", too long for the tracker's histories of " << kHistoryFrames
          << " frames: raise MAX_BPM and MIN_BPM, or ADVANCE";
      }
      break;
  }
  return m.str();
}

std::string CheckReliabilityThreshold(float threshold) {
  if (!std::isnan(threshold)) return std::string();
  return "parameter RELIABILITY-THRESHOLD = nan is not a number: a reliability between 0 and 1 "
         "is expected (a due beat is reported when the reliability reaches it)";
}
