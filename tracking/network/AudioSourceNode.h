#ifndef VESK_TRACKING_AUDIOSOURCENODE_H
#define VESK_TRACKING_AUDIOSOURCENODE_H

#include <array>
#include <complex>
#include <cstdint>
#include <memory>

#include "node/host/Rill.h"
#include "tracking/frames/FrameBlock.h"
#include "tracking/frames/FrameMaker.h"
#include "tracking/frames/InputPipeline.h"
#include "tracking/frames/MatrixRecycler.h"
#include "tracking/input/AudioReader.h"

namespace vesk_tracking {

// The head of the tool's network. For frame f it delivers on "AUDIO" the
// analysis window, an RL::Matrix<float> of one row per channel and
// `format.length` columns whose last `format.hop` columns are the new samples
// [f*hop, (f+1)*hop) of the input at the processing rate (zeros before the
// start and after the end), and on "FFTAUDIO" its spectrum, an
// RL::Matrix<std::complex<float>> whose row 0 holds bins 0 .. N/2 (the
// channels averaged, weighted by the window, transformed). The frames are
// made by an InputPipeline, for a file ahead in a thread of its own; this
// node only wraps them. Frames are computed in order.
class AudioSourceNode : public RL::BufferedNode {
 public:
  // With `readAhead`, a file is worked in a thread of its own. Throws
  // RL::NodeException* for a format that makes no frames (frame length below
  // 2, hop outside 1 .. frame length) and AudioError when the input cannot be
  // resampled.
  AudioSourceNode(const std::string& name, std::unique_ptr<AudioReader> reader, int processingRate,
                  const FrameFormat& format, bool readAhead = true,
                  const InputPipeline::Limits& limits = InputPipeline::Limits());

  // True when the next frame to be computed holds at least one input sample.
  // Waits (for a stream, reads) until that frame is made; rethrows an error
  // of the input. False also while pushed audio waits for more (see ended()).
  bool hasNextFrame();
  // Every frame holding input samples was delivered.
  bool ended() const { return finished; }
  // Input samples per channel delivered so far, at the processing rate.
  std::int64_t samplesDelivered() const { return delivered; }
  int channels() const { return input->channels(); }
  int inputRate() const { return input->inputRate(); }
  // Expected frames for a file; -1 for a stream.
  std::int64_t expectedFrames() const;

  void calculate(int outputID, int count, RL::Buffer& out) override;

  // The onset energy of frame `count`, one of the last few computed (with
  // `format.onsets` only).
  const vesk_conditioning::OnsetEnergy::Value& onsetOf(int count) const {
    return recentOnsets[static_cast<std::size_t>(count) % recentOnsets.size()];
  }
  // The onsets' periodicity as of frame `count`, if it was due on that frame
  // (one of the last few computed, with `format.periodicity`); else null.
  const vesk_conditioning::OnsetPeriodicity::Snapshot* periodicityOf(int count) const {
    const auto& s = recentPeriodicity[static_cast<std::size_t>(count) % recentPeriodicity.size()];
    return s.frame == count ? &s : nullptr;
  }

 private:
  std::unique_ptr<InputPipeline> input;
  int rate;
  int hop;
  int audioOutputID;
  int spectrumOutputID;
  std::unique_ptr<FrameBlock> block;  // the frames being delivered
  std::size_t nextInBlock = 0;
  bool finished = false;
  std::unique_ptr<MatrixRecycler<float>> audioFrames;
  std::unique_ptr<MatrixRecycler<std::complex<float>>> spectra;
  std::int64_t delivered = 0;
  bool withOnsets;
  std::array<vesk_conditioning::OnsetEnergy::Value, 8> recentOnsets{};
  std::array<vesk_conditioning::OnsetPeriodicity::Snapshot, 8> recentPeriodicity{};
};

}  // namespace vesk_tracking

#endif
