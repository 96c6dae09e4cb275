#ifndef VESK_TRACKING_SETTINGS_H
#define VESK_TRACKING_SETTINGS_H

#include <optional>

#include "conditioning/after_node/AfterNodeStage.h"
#include "conditioning/before_node/SpectrumConditioner.h"
#include "voice_cancel/WindowFunction.h"

// The default tracking parameters of every host (the tool and the bindings),
// kept in one place. The input is always resampled to kRate, so the defaults
// suit any input rate.
namespace vesk_tracking::defaults {

constexpr int kRate = 16000;  // processing rate, Hz ("SAMPLING_RATE")
constexpr int kFrame = 512;   // samples per analysis window
constexpr int kHop = 160;     // new samples per frame ("ADVANCE"): 100 frames/s
constexpr const char* kWindow = "hann";
// Chosen from the evaluation (eval/sweep.py): 80-200 BPM halves the tempo far
// less often than 60-180 (mean F-measure 0.60 against 0.47), at the cost of
// reporting music slower than 80 BPM at double tempo. A threshold of 0.4 reports
// the first beat sooner than 0.5 for the same precision; higher thresholds give
// fewer, later beats and barely surer ones.
constexpr int kMinBpm = 80;         // "MIN_BPM"
constexpr int kMaxBpm = 200;        // "MAX_BPM"
constexpr float kThreshold = 0.4f;  // "RELIABILITY-THRESHOLD"
// The spectrum handed to the node, and the level below which the input counts
// as silence (dB relative to a full-scale sine).
constexpr const char* kFrontEnd = "log";
constexpr double kGateDb = -60.0;
constexpr vesk_conditioning::AfterNode kAfterNode = vesk_conditioning::AfterNode::Meter;

// Seconds added to frame * hop / rate to get the reported time of a beat. The
// node signals a beat on the frame whose newest hop it falls in, and the onset
// evidence is spread over the window: measured against exact annotations, the
// lag is about one hop plus a quarter of the window (20 ms at frame 512, 30 ms
// at 1024, 46 ms at 2048 with hop 160 at 16 kHz; 15 ms at hop 128), which this
// offset takes off.
inline double BeatTimeOffsetSec(int frame, int hop, int rate) {
  return -(static_cast<double>(hop) + frame / 4.0) / rate;
}

// Limits of the option values.
constexpr int kMinRate = 4000, kMaxRate = 192000;
constexpr int kMinFrame = 64, kMaxFrame = 16384;
constexpr int kMinBpmLimit = 10, kMaxBpmLimit = 1000;
constexpr int kMaxChannels = 1024;  // as many as libsndfile reads from a file
// The beat intervals in frames must also suit the engine: at least 6 frames, and
// no longer than its histories hold: CheckTempoRange (node/TempoRange.h) judges.

}  // namespace vesk_tracking::defaults

namespace vesk_tracking {

// How an input is tracked: the processing rate and framing, and the node's
// tempo range and threshold.
struct Settings {
  int rate = defaults::kRate;
  int frame = defaults::kFrame;
  int hop = defaults::kHop;
  WindowFunction::Type window = WindowFunction::Hann;
  int minBpm = defaults::kMinBpm;
  int maxBpm = defaults::kMaxBpm;
  float threshold = defaults::kThreshold;
  // The spectrum handed to the node; none: the plain spectrum.
  std::optional<vesk_conditioning::ConditionerSettings> frontEnd;
};

// Which beats a host reports: those of the stage after the node, and with
// `allBeats` also the node's beats below the threshold (tempo 0).
struct StageChoice {
  vesk_conditioning::AfterNode afterNode = defaults::kAfterNode;
  bool allBeats = false;
};

}  // namespace vesk_tracking

#endif
