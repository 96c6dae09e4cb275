#ifndef VESK_BEAT_DEFAULTS_H
#define VESK_BEAT_DEFAULTS_H

// The tool's default tracking parameters, kept in one place. The input is
// always resampled to kRate, so the defaults suit any input rate.
namespace vesk_beat::defaults {

constexpr int kRate = 16000;  // processing rate, Hz ("SAMPLING_RATE")
constexpr int kFrame = 512;   // samples per analysis window
constexpr int kHop = 160;     // new samples per frame ("ADVANCE"): 100 frames/s
constexpr const char* kWindow = "hann";
constexpr int kMinBpm = 60;         // "MIN_BPM"
constexpr int kMaxBpm = 180;        // "MAX_BPM"
constexpr float kThreshold = 0.5f;  // "RELIABILITY-THRESHOLD"

// Seconds added to frame * hop / rate to get the reported time of a beat: where
// within its frame a beat the node signals actually lies.
constexpr double kBeatTimeOffsetSec = 0.0;

// Limits of the option values.
constexpr int kMinRate = 4000, kMaxRate = 192000;
constexpr int kMinFrame = 64, kMaxFrame = 16384;
constexpr int kMinBpmLimit = 10, kMaxBpmLimit = 1000;
// The beat interval in frames must also lie between 6 and the longest the
// engine's histories hold (beat_tracker::BeatTracker::MaxSafeInterval()).

}  // namespace vesk_beat::defaults

#endif
