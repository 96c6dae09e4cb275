#ifndef VESK_CONDITIONING_AFTERNODESTAGE_H
#define VESK_CONDITIONING_AFTERNODESTAGE_H

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "conditioning/after_node/FrameRecord.h"

namespace vesk_conditioning {

// A stage after the node: it sees every frame's record and decides which
// frames report a beat, at what interval. Causal: a beat is reported on the
// frame it falls due, or a few frames late with its own frame (framesLate).
class AfterNodeStage {
 public:
  struct Beat {
    bool due = false;
    int intervalFrames = 0;  // the beat interval the stage follows
    int framesLate = 0;      // frames since the beat's own frame
    // A tempo the stage measures itself; none: 60 s over the interval.
    std::optional<double> tempo;
  };
  // What the stage reads of each record beside the node's outputs.
  struct Needs {
    bool onsets = false;
    bool spectrum = false;
    bool bands = false;       // the onsets with their bands (OnsetEnergy::Settings::bands)
    bool activation = false;  // and the beat activation (OnsetEnergy::Settings::activation)
  };
  // The stage's current guess at its next beat: the frame it expects to
  // report it on (after the last frame processed) and the interval and tempo
  // it would carry. It may still move, or never be reported.
  struct Prediction {
    long frame = 0;
    int intervalFrames = 0;
    std::optional<double> tempo;
  };

  virtual ~AfterNodeStage() = default;
  virtual Beat process(const FrameRecord& frame) = 0;
  virtual Needs needs() const = 0;
  // Seconds added to the time of the stage's beats: how far the evidence it
  // places them on lies before the beat.
  virtual double latencySeconds() const = 0;
  // None for a stage that does not look ahead, or while it has no beat to expect.
  virtual std::optional<Prediction> prediction() const { return std::nullopt; }
  // For a stage whose onsets' periodicity the host may keep where it computes
  // the onsets (FrameRecord::periodicity); none: the stage keeps its own.
  virtual const OnsetPeriodicity::Format* periodicity() const { return nullptr; }
};

// The stages hosts can choose, by value and by name.
enum class AfterNode { None, Phase, Predict, Meter };

// The spectra and frames a stage works on, and the node's threshold.
struct StageFormat {
  std::size_t bins = 0;        // of each spectrum
  double frameRate = 0.0;      // frames per second
  double frameSeconds = 0.0;   // the same as a duration: hop / rate
  double binHz = 0.0;          // width of a bin
  float threshold = 0.0f;      // the node's "RELIABILITY-THRESHOLD"
  int minBpm = 0, maxBpm = 0;  // the node's tempo range
};

// Throws std::invalid_argument for a format out of range.
std::unique_ptr<AfterNodeStage> makeAfterNodeStage(AfterNode stage, const StageFormat& format);

// "none", "phase", "predict" and "meter", in the order hosts list them.
const std::vector<std::string>& afterNodeNames();
const std::string& afterNodeName(AfterNode stage);
// The same for messages: "none, phase, predict".
std::string afterNodeList();
// The stage of a name; none for an unknown one.
std::optional<AfterNode> afterNodeNamed(const std::string& name);

}  // namespace vesk_conditioning

#endif
