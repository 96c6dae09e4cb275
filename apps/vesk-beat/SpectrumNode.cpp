#include "apps/vesk-beat/SpectrumNode.h"

#include <mutex>

namespace vesk_beat {

namespace {
// FFTW's planner is not thread-safe; executing a plan is.
std::mutex& plannerMutex() {
  static std::mutex m;
  return m;
}
}  // namespace

SpectrumNode::SpectrumNode(const std::string& name, int frames, WindowFunction::Type type)
    : RL::BufferedNode(name, RL::ParameterSet()),
      frameLength(frames),
      window(frames > 0 ? static_cast<std::uint64_t>(frames) : 0, type) {
  audioInputID = addInput("AUDIO");
  spectrumOutputID = addOutput("FFTAUDIO");
  inOrder = true;
  if (frameLength < 2)
    throw new RL::NodeException(
        this,
        "frame length " + std::to_string(frameLength) + " is too short for a spectrum (at least 2)",
        __FILE__, __LINE__);
  std::lock_guard<std::mutex> lock(plannerMutex());
  timeSignal = fftw_alloc_real(frameLength);
  spectrum = fftw_alloc_complex(frameLength / 2 + 1);
  plan = fftw_plan_dft_r2c_1d(frameLength, timeSignal, spectrum, FFTW_ESTIMATE);
}

SpectrumNode::~SpectrumNode() {
  std::lock_guard<std::mutex> lock(plannerMutex());
  if (plan) fftw_destroy_plan(plan);
  fftw_free(timeSignal);
  fftw_free(spectrum);
}

void SpectrumNode::calculate(int, int count, RL::Buffer& out) {
  RL::RCPtr<RL::Matrix<float>> audio =
      RL::Conversion::convertTo<RL::Matrix<float>>(getInput(audioInputID, count));
  if (audio->ncols() != static_cast<std::size_t>(frameLength) || audio->nrows() == 0)
    throw new RL::NodeException(this,
                                "AUDIO frame of " + std::to_string(audio->nrows()) + " x " +
                                    std::to_string(audio->ncols()) + ", expected " +
                                    std::to_string(frameLength) + " columns",
                                __FILE__, __LINE__);
  const std::size_t rows = audio->nrows();
  const float* samples = audio->data();
  if (rows == 1) {
    // One channel: its mean is the sample itself (a division by 1 changes nothing).
    for (int j = 0; j < frameLength; ++j)
      timeSignal[j] = static_cast<double>(samples[j]) * window[static_cast<std::uint64_t>(j)];
  } else {
    for (int j = 0; j < frameLength; ++j) {
      double sum = 0.0;
      for (std::size_t r = 0; r < rows; ++r) sum += samples[r * frameLength + j];
      timeSignal[j] = sum / static_cast<double>(rows) * window[static_cast<std::uint64_t>(j)];
    }
  }
  fftw_execute(plan);
  const int bins = frameLength / 2 + 1;
  auto* result = new RL::Matrix<std::complex<float>>(1, bins);
  RL::ObjectRef ref(result);
  for (int k = 0; k < bins; ++k)
    (*result)(0, k) =
        std::complex<float>(static_cast<float>(spectrum[k][0]), static_cast<float>(spectrum[k][1]));
  // Only "FFTAUDIO" exists, so `out` is its buffer.
  out[count] = ref;
}

}  // namespace vesk_beat
