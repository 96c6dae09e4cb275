#ifndef VESK_CONDITIONING_BEATACTIVATION_H
#define VESK_CONDITIONING_BEATACTIVATION_H

#include <array>
#include <cstddef>
#include <vector>

namespace vesk_conditioning {

// How likely a frame is to hold a beat, from how its sound rises: a kick or a
// snare on the beat and a hat or a chord between the beats rise alike in the
// onset energy, their bands tell them apart. A small network (one hidden
// layer) weighs the rises of fifteen bands and the frame's onsets (all bands,
// low, middle, high), each as it is and against its mean over the last
// seconds, over this frame and the four before it. It was trained at 100
// frames per second on the tuning half of the evaluation corpus
// (eval/train_activation.py). Causal; allocates only when constructed.
class BeatActivation {
 public:
  static constexpr int kBands = 15;
  // The bands' rises, then the onset energy and the low, middle and high bands' onsets.
  static constexpr int kInputs = kBands + 4;
  using Inputs = std::array<float, kInputs>;
  // The hidden units, padded to a whole number of vector lanes.
  static constexpr int kLanes = 16;

  // `bins` of each spectrum, `binHz` the width of a bin. Throws
  // std::invalid_argument for values out of range.
  BeatActivation(std::size_t bins, double binHz);

  // The mean rise, per bin, of each band's log magnitudes (`now` against
  // `last`, one value per bin) into inputs[0 .. kBands - 1].
  void bandRises(const float* now, const float* last, Inputs& inputs) const;
  // The next frame's inputs; its activation, from 0 to 1.
  double process(const Inputs& inputs);

 private:
  std::array<std::size_t, kBands> from{}, to{};  // each band's bins
  std::array<double, kInputs> mean{};            // running, per input
  std::vector<float> context;                    // features per frame, the newest first
  std::vector<float> weights;  // per feature, a weight per hidden unit over its spread (kLanes)
  std::array<float, kLanes> bias{};  // per hidden unit, less the features' means
};

}  // namespace vesk_conditioning

#endif
