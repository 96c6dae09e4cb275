#ifndef VESK_TRACKING_FRAMEMAKER_H
#define VESK_TRACKING_FRAMEMAKER_H

#include <complex>
#include <cstddef>
#include <optional>
#include <vector>

#include <fftw3.h>

#include "common/AlignedVector.h"
#include "conditioning/after_node/OnsetEnergy.h"
#include "conditioning/after_node/OnsetPeriodicity.h"
#include "conditioning/before_node/SpectrumConditioner.h"

#include "tracking/frames/FrameBlock.h"
#include "voice_cancel/WindowFunction.h"

namespace vesk_tracking {

// The analysis frames the tool feeds its network.
struct FrameFormat {
  FrameFormat() = default;
  FrameFormat(int length, int hop, WindowFunction::Type window,
              std::optional<vesk_conditioning::ConditionerSettings> frontEnd = std::nullopt,
              int rate = 16000,
              std::optional<vesk_conditioning::OnsetEnergy::Settings> onsets = std::nullopt)
      : length(length), hop(hop), window(window), frontEnd(frontEnd), rate(rate), onsets(onsets) {}

  int length = 0;  // samples per window (the node's frame length N)
  int hop = 0;     // new samples per frame, 1 .. length
  WindowFunction::Type window = WindowFunction::Hann;
  // What the spectrum goes through before the node sees it; none: the plain spectrum.
  std::optional<vesk_conditioning::ConditionerSettings> frontEnd;
  int rate = 16000;  // processing rate, Hz, for the front end's band weights
  // The onset energy of each conditioned spectrum, for the beat predictor; none: not computed.
  std::optional<vesk_conditioning::OnsetEnergy::Settings> onsets;
  // The periodicity of those onsets (with their bands), for the meter stage:
  // a snapshot on each frame it is due; none: not kept.
  std::optional<vesk_conditioning::OnsetPeriodicity::Format> periodicity;
};

// Cuts samples at the processing rate into analysis frames and computes their
// spectra. Frame f is the window whose last `hop` samples are the input
// samples [f*hop, (f+1)*hop), zeros before the start and after the end. Its
// spectrum: the channels are averaged, weighted by the window and transformed
// (FFTW r2c, planned once at construction), then conditioned by the front
// end when there is one; its onset energy follows when asked for. Used by one
// thread at a time; on cache lines of its own, like everything it writes per
// frame, so that the analysis thread's data never shares a line with it.
class alignas(vesk_kernels::kCacheLine) FrameMaker {
 public:
  // Throws std::invalid_argument for no channel, a frame length below 2 or a
  // hop outside 1 .. frame length.
  FrameMaker(int channels, const FrameFormat& format);
  ~FrameMaker();
  FrameMaker(const FrameMaker&) = delete;
  FrameMaker& operator=(const FrameMaker&) = delete;

  int channels() const { return channelCount; }
  int bins() const { return frameLength / 2 + 1; }
  // Floats of one frame's window: channels x frame length.
  std::size_t frameFloats() const { return window.size(); }

  // Takes `frames` interleaved frames of samples at the processing rate.
  void add(const float* samples, std::size_t frames);
  // The input has ended: a last partial hop, if any, becomes a frame too.
  void finish();
  // Appends the next frame to `block` when its samples are all there; false
  // (and nothing appended) when it needs more input, or after the last frame.
  bool cut(FrameBlock& block);
  // Appends a frame that brings no new sample: the window slides on through
  // zeros, as it does past the end of the input.
  void cutSilence(FrameBlock& block);

 private:
  std::size_t pendingFrames() const { return pending.size() / channelCount - pendingPos; }
  void cutFrame(std::size_t take, FrameBlock& block);
  // Its loops, built once per vector unit (common/VectorKernels.h).
  void cutFrameLoops(std::size_t take, FrameBlock& block);
  void cutFrameBase(std::size_t take, FrameBlock& block);
  void cutFrameAvx2(std::size_t take, FrameBlock& block);

  int channelCount;
  int frameLength;
  int hop;
  WindowFunction weights;
  vesk_kernels::AlignedVector<float> window;  // the last window: channels rows of frameLength
  std::vector<float> pending;                 // interleaved samples not yet in a frame
  std::size_t pendingPos = 0;                 // frames at the start of `pending` already used
  bool finished = false;
  vesk_kernels::AlignedVector<double> timeSignal;  // the weighted window, transformed
  vesk_kernels::AlignedVector<double> spectrum;    // its bins, real and imaginary parts
  fftw_plan plan = nullptr;
  std::optional<vesk_conditioning::SpectrumConditioner> frontEnd;
  std::optional<vesk_conditioning::OnsetEnergy> onsets;
  std::optional<vesk_conditioning::OnsetPeriodicity> periodicity;
};

}  // namespace vesk_tracking

#endif
