#ifndef VESK_BEAT_SPECTRUMNODE_H
#define VESK_BEAT_SPECTRUMNODE_H

#include <complex>
#include <vector>

#include <fftw3.h>

#include "node/host/Rill.h"
#include "voice_cancel/WindowFunction.h"

namespace vesk_beat {

// Delivers on "FFTAUDIO" the complex spectrum of the frame on its "AUDIO"
// input: the channels are averaged, weighted by the window and transformed;
// row 0 of the RL::Matrix<std::complex<float>> holds bins 0 .. N/2. The FFTW
// plan is made once, at construction.
class SpectrumNode : public RL::BufferedNode {
 public:
  // Throws RL::NodeException* for a frame length below 2.
  SpectrumNode(const std::string& name, int frameLength, WindowFunction::Type window);
  ~SpectrumNode() override;

  void calculate(int outputID, int count, RL::Buffer& out) override;

 private:
  int frameLength;
  int audioInputID;
  int spectrumOutputID;
  WindowFunction window;
  double* timeSignal = nullptr;
  fftw_complex* spectrum = nullptr;
  fftw_plan plan = nullptr;
};

}  // namespace vesk_beat

#endif
