#include <stdexcept>
#include <string>

#include "beat_tracker/BeatTracker.h"

namespace beat_tracker {

BeatTrackerData BeatTracker::analyze(const std::vector<double>& spectrum) {
  // Every history row of one ring must have the same length; a mismatched
  // spectrum is refused before anything changes.
  if (spectrum.size() != spectrum_size)
    throw std::invalid_argument("beat_tracker::BeatTracker::analyze: the spectrum has " +
                                std::to_string(spectrum.size()) + " values, expected " +
                                std::to_string(spectrum_size));

  BeatTrackerData result;
  no_onset = false;
  t_current += 1;
  const int t = t_current;

  // Front end: chroma, mel spectrum and onset vector of the new frame.
  spectrum_buffer.push(spectrum);
  std::vector<double> chroma = MakeChromaVec(spectrum_buffer);
  MelFilterInto(spectrum_buffer, mel_scratch_);
  mel_buffer.push(mel_scratch_);
  int kernel[3][3] = {{-1, 0, 1}, {-2, 0, 2}, {-1, 0, 1}};
  std::vector<double> onset = Filter3x3(mel_buffer, kernel);
  onset_buffer.push(onset);

  // Beat interval and its reliability.
  std::vector<double> stpm;
  PatternMatchingInto(onset_buffer, stpm, true);
  const IntervalChoice choice = SelectInterval(stpm);
  interval_buffer.push(min_interval + choice.index);
  UpdateReliability();

  // Beat scores, anchor and the frame's beat time. Both steps still see the
  // previous frame's now_interval.
  const int past_beats = UpdateBeatScores(onset);
  EstimatePhase(past_beats);
  const int beat_time = AdvanceBeatTime();

  if (log_flag) WriteSelectionLine(choice);
  now_interval = static_cast<int>(interval_buffer.back(0));
  music_reliability = music_reliability_buffer.back(0);
  if (log_flag) WriteReliabilityLine();

  result.onset_vector = std::move(onset);
  result.stpm_vector = std::move(stpm);
  result.chroma_vector = std::move(chroma);
  result.now_interval = static_cast<double>(now_interval);
  result.spare = beat_result_spare;
  result.t_current = static_cast<double>(t);
  result.next_beat_time = static_cast<double>(next_beat_time);
  result.beat_time = static_cast<double>(beat_time);
  result.next_beat_offset = static_cast<double>(t) - static_cast<double>(next_beat_time);
  result.beat_offset = static_cast<double>(t) - static_cast<double>(beat_time);
  result.reliability = music_reliability;
  return result;
}

}  // namespace beat_tracker
