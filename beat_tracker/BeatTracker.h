#ifndef VESK_BEAT_TRACKER_BEATTRACKER_H
#define VESK_BEAT_TRACKER_BEATTRACKER_H

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "beat_tracker/BeatTrackerData.h"
#include "beat_tracker/BeatTrackerInit.h"
#include "beat_tracker/IntervalChoice.h"
#include "beat_tracker/PatternMatchingCache.h"
#include "beat_tracker/RingIBuffer.h"

namespace beat_tracker {

// The beat-tracking engine. One engine holds the whole analysis state of one
// audio stream: its configuration, a 3000-frame history of every per-frame
// quantity, the mel and pitch tables, the diagnostic files and the beat
// prediction state. Members are public so that tools and tests can inspect and
// prepare states; `analyze` is the per-frame entry point.
class BeatTracker {
 public:
  // Every history holds this many frames.
  static constexpr int kHistoryLength = static_cast<int>(RingIBuffer<double>::kDefaultLength);

  // The longest interval the selection can ever store, in frames. Peak
  // positions reach max_interval - 1. The corrections against the held choice
  // can go further: an interval distance tripled while below m - 5 ends at most
  // at 3(m - 6), which becomes the index 3(m - 6) - m, i.e. the interval
  // 3m - 18 (doubling gives at most 2m - 12, which is never more).
  static constexpr int LongestStoredInterval(int min_interval, int max_interval) {
    return std::max(max_interval - 1, 3 * min_interval - 18);
  }

  // True when every history read of the engine stays inside the rings for this
  // interval range (the pattern-matching window equals max_interval):
  //  - pattern matching reaches max_interval + window_length - 2 frames back;
  //  - the comb reaches three stored intervals back;
  //  - the phase window reaches max_interval + one stored interval back;
  // and the selection needs min_interval >= 6 (every stored interval at least
  // one frame) and at least two candidate intervals.
  static constexpr bool IntervalRangeFits(int min_interval, int max_interval) {
    if (min_interval < 6 || max_interval - min_interval < 2) return false;
    const int longest = LongestStoredInterval(min_interval, max_interval);
    return 2 * max_interval - 2 < kHistoryLength && 3 * longest < kHistoryLength &&
           max_interval + longest < kHistoryLength && max_interval + 2 < kHistoryLength;
  }

  // The largest max_interval that fits with every min_interval from 6 up to
  // max_interval - 2: 341 (3 * (3 * 339 - 18) = 2997 < 3000).
  static constexpr int MaxSafeInterval() {
    int n = 8;
    while (IntervalRangeFits(n - 1, n + 1)) ++n;
    return n;
  }

  // Throws std::invalid_argument when the configuration cannot be analysed
  // safely (see IntervalRangeFits and the checks in the constructor).
  explicit BeatTracker(BeatTrackerInit init);
  virtual ~BeatTracker();
  BeatTracker(const BeatTracker&) = delete;
  BeatTracker& operator=(const BeatTracker&) = delete;

  // Analyses the magnitude spectrum of the next frame (spectrum_size values;
  // std::invalid_argument otherwise, before any state changes).
  // The pattern matching follows onset_buffer push by push: between two
  // calls, its older rows are expected to change only through analyze. After
  // editing them by hand, call STPattanMatching(onset_buffer) once (it checks
  // the whole history and takes up the edits) or set use_reference_stages.
  BeatTrackerData analyze(const std::vector<double>& spectrum);

  // Spectral front end. None of them changes the ring; the caller pushes.
  std::vector<double> MelFilter(RingIBuffer<std::vector<double>>& ring);
  std::vector<double> Filter3x3(RingIBuffer<std::vector<double>>& ring, int (*kernel)[3]);
  std::vector<double> MakeChromaVec(RingIBuffer<std::vector<double>>& ring);
  std::vector<double> MakeIncSpec(RingIBuffer<std::vector<double>>& ring);
  void SetFreqBank();

  // Pattern-matching score per candidate interval min_interval ... max_interval - 1.
  std::vector<double> STPattanMatching(RingIBuffer<std::vector<double>>& ring);

  // Reference computations behind MelFilter and STPattanMatching, without the
  // diagnostic lines: every filter scans every bin, every matching product is
  // formed on every frame. The yardstick for the faster stages: MelFilter gives
  // bit-identical values; STPattanMatching sums per-frame terms, which differs
  // from these only in the rounding of the summation order.
  std::vector<double> MelSpectrumReference(const std::vector<double>& row) const;
  std::vector<double> PatternMatchingReference(const RingIBuffer<std::vector<double>>& ring) const;

  // When set, MelFilter and STPattanMatching run the reference computations
  // (for comparing whole runs; slower, same decisions).
  bool use_reference_stages = false;

  // The steps of one frame, in the order analyze runs them; public so that a
  // prepared state can be run through one step.
  // Chooses the interval index from the matching vector and updates the held
  // choice and no_onset. Does not push the interval.
  IntervalChoice SelectInterval(const std::vector<double>& stpm);
  // Share of the 200 previous intervals agreeing with the newest one; pushes it
  // into music_reliability_buffer and returns it.
  double UpdateReliability();
  // Onset sum, onset window, comb and beat-score update for the frame's onset
  // vector; returns the number of past beats the comb used (0 ... 3).
  int UpdateBeatScores(const std::vector<double>& onset);
  // Re-estimates the anchor next_beat_time when due.
  void EstimatePhase(int past_beats);
  // Steps from the anchor to the latest beat before t_current and returns it
  // (0 without an anchor).
  int AdvanceBeatTime();

  // Time of the current frame in seconds, as the diagnostic lines write it.
  double FrameTime() const;

  // Configuration and tables.
  double sampling_rate = 0.0;
  std::uint64_t spectrum_size = 0;
  std::uint64_t advance = 0;
  int mel_band_num = 0;
  int min_interval = 0;
  int max_interval = 0;
  int window_length = 0;
  int onset_band_begin = 0;
  int onset_band_end = 0;
  bool log_flag = false;
  std::vector<double> mel_points;

  // Histories of the latest 3000 frames.
  RingIBuffer<std::vector<double>> spectrum_buffer;
  RingIBuffer<std::vector<double>> mel_buffer;
  RingIBuffer<std::vector<double>> onset_buffer;
  RingIBuffer<double> onset_sum_buffer;
  RingIBuffer<std::vector<double>> interval_value_buffer;
  RingIBuffer<double> beat_reliability_buffer;
  RingIBuffer<std::uint64_t> beat_count_buffer;
  RingIBuffer<double> interval_buffer;
  RingIBuffer<double> music_reliability_buffer;

  // Per spectrum bin: cents above C0, pitch class and octave.
  std::vector<double> bin_cents;
  std::vector<double> bin_pitch_class;
  std::vector<double> bin_octave;

  int overlap = 0;
  std::string file_prefix;
  std::ostream* console = nullptr;  // the engine's console lines (never null once built)

  // Diagnostic data files, one line per frame while log_flag is set.
  std::ofstream spec_file;
  std::ofstream inc_spec_file;
  std::ofstream melfilterbank_file;
  std::ofstream chroma_vector_file;
  std::ofstream inc_mel_file;
  std::ofstream interval_value_file;
  std::ofstream interval_long_value_file;
  std::ofstream interval_contrast_file;
  std::ofstream interval_long_contrast_file;
  std::ofstream beats_reliability_mask_file;
  std::ofstream beats_reliability_file;
  std::ofstream beats_times_file;
  std::ofstream flat_num_file;
  std::ofstream music_reli_file;

  // Frame counter and beat prediction.
  int t_current = 0;
  int next_beat_time = 0;
  int beat_result_spare = 0;
  int now_interval = 0;
  double music_reliability = 0.0;
  bool no_onset = false;

  // Interval-selection memory: the previous frame's choice and its decaying
  // peak strength. Per engine, so that engines never disturb each other.
  double held_interval_index = 0.0;
  double held_peak = 0.0;

  // Beat-phase state, per engine as well.
  double phase_interval = 0.0;           // interval at the last estimation
  bool phase_valid = false;              // an earlier estimation exists and the interval held
  int change_count = 0;                  // estimations since the last forced change
  std::uint64_t out_of_range_count = 0;  // out-of-range estimations in a row

 private:
  // Mel spectrum of one row over the bins each triangle covers, into `out`.
  void MelSpectrumInto(const std::vector<double>& row, std::vector<double>& out);
  void UpdateMelRanges(std::size_t bins);
  void MelFilterInto(RingIBuffer<std::vector<double>>& ring, std::vector<double>& out);
  // `own_frame`: called by analyze on onset_buffer right after its push.
  void PatternMatchingInto(RingIBuffer<std::vector<double>>& ring, std::vector<double>& out,
                           bool own_frame);
  void OpenDiagnosticFiles();
  void WriteSelectionLine(const IntervalChoice& choice);
  void WriteReliabilityLine();

  // Per-filter bin ranges [first, end) of the mel triangles, valid for the
  // mel points and row length they were made for.
  std::vector<double> mel_range_points_;
  std::size_t mel_range_bins_ = 0;
  std::vector<std::size_t> mel_range_first_;
  std::vector<std::size_t> mel_range_mid_;  // first bin of the falling side
  std::vector<std::size_t> mel_range_end_;
  std::vector<double> mel_bin_numbers_;  // 0, 1, 2, ... as doubles

  // Runs of consecutive counted bins of one pitch class, valid for the tables
  // and row length they were found for.
  struct ChromaRun {
    int pitch_class;
    std::size_t begin;
    std::size_t end;
  };
  void UpdateChromaRuns(std::size_t bins);
  std::vector<ChromaRun> chroma_runs_;
  std::vector<double> chroma_octaves_;
  std::vector<double> chroma_classes_;
  std::size_t chroma_run_bins_ = 0;

  PatternMatchingCache pattern_matching_cache_;

  // Working rows reused from frame to frame, so that a frame allocates nothing
  // beyond its result record.
  std::vector<double> mel_scratch_;
  std::vector<double> peaks_scratch_;
  std::vector<double> window_scratch_;
  std::vector<double> comb_scratch_;
  std::vector<double> mask_scratch_;
  std::vector<double> phase_scratch_;
};

}  // namespace beat_tracker

#endif
