#include "tracking/network/AudioSourceNode.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace vesk_tracking {

AudioSourceNode::AudioSourceNode(const std::string& name, std::unique_ptr<AudioReader> reader,
                                 int processingRate, const FrameFormat& format, bool readAhead,
                                 const InputPipeline::Limits& limits)
    : RL::BufferedNode(name, RL::ParameterSet()),
      rate(processingRate),
      hop(format.hop),
      withOnsets(format.onsets.has_value()) {
  audioOutputID = addOutput("AUDIO");
  spectrumOutputID = addOutput("FFTAUDIO");
  inOrder = true;
  try {
    input = std::make_unique<InputPipeline>(std::move(reader), processingRate, format, readAhead,
                                            limits);
  } catch (const std::invalid_argument& e) {
    throw new RL::NodeException(this, e.what(), __FILE__, __LINE__);
  }
  audioFrames = std::make_unique<MatrixRecycler<float>>(input->channels(), format.length);
  spectra = std::make_unique<MatrixRecycler<std::complex<float>>>(1, format.length / 2 + 1);
}

std::int64_t AudioSourceNode::expectedFrames() const {
  std::int64_t n = input->inputFrames();
  if (n < 0) return -1;
  double samples = std::ceil(static_cast<double>(n) * rate / input->inputRate());
  return static_cast<std::int64_t>(std::ceil(samples / hop));
}

bool AudioSourceNode::hasNextFrame() {
  if (finished) return false;
  if (block && nextInBlock < block->frames) return true;
  nextInBlock = 0;
  if (input->next(block)) return true;
  finished = !input->starved();
  return false;
}

void AudioSourceNode::calculate(int, int count, RL::Buffer&) {
  if (!hasNextFrame()) {
    input->frameAfterEnd(block);
    nextInBlock = 0;
  }
  const std::size_t f = nextInBlock++;
  RL::RCPtr<RL::Matrix<float>> audio = audioFrames->get();
  const std::size_t floats = audio->size();
  std::copy_n(&block->audio[f * floats], floats, audio->data());
  RL::RCPtr<RL::Matrix<std::complex<float>>> spectrum = spectra->get();
  const std::size_t bins = spectrum->size();
  std::copy_n(&block->spectra[f * bins], bins, spectrum->data());
  delivered += block->newSamples[f];
  if (withOnsets)
    recentOnsets[static_cast<std::size_t>(count) % recentOnsets.size()] = block->onsets[f];
  if (block->periodicity.size() > f && block->periodicity[f].frame >= 0)
    // Swapped, not copied: both keep their room for the next.
    std::swap(recentPeriodicity[static_cast<std::size_t>(count) % recentPeriodicity.size()],
              block->periodicity[f]);
  // Both outputs of the frame are stored, whichever was asked for.
  (*outputs[audioOutputID].buffer)[count] = audio;
  (*outputs[spectrumOutputID].buffer)[count] = spectrum;
}

}  // namespace vesk_tracking
