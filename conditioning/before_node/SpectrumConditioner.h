#ifndef VESK_CONDITIONING_SPECTRUMCONDITIONER_H
#define VESK_CONDITIONING_SPECTRUMCONDITIONER_H

#include <complex>
#include <cstddef>
#include <string>
#include <vector>

#include "common/AlignedVector.h"

namespace vesk_conditioning {

// What the conditioner does to each frame's spectrum, stage by stage; every
// stage can be switched off on its own.
struct ConditionerSettings {
  // Level gate: a frame whose level stays below `gateDb` (dB relative to a
  // full-scale signal, measured from the spectrum) for `gateHoldFrames`
  // frames becomes digital silence, so that dither and room noise never make
  // beats. Off at -infinity (any value below -200).
  double gateDb = -200.0;
  int gateHoldFrames = 0;
  // Adaptive whitening: each bin is divided by its own peak, which decays by
  // `whitenDecay` per frame and never falls below `whitenFloor`; steady
  // tones lose their weight against what changes. Off at 0.
  double whitenDecay = 0.0;
  double whitenFloor = 1e-4;
  // Compression: log(1 + compressLambda * magnitude). Off at 0.
  double compressLambda = 0.0;
  // Band weighting: 1 / (1 + f / lowPassHz), so that bass and kick, which
  // carry the beat in most music, outweigh cymbals. Off at 0.
  double lowPassHz = 0.0;
};

// Whether every stage is off: the spectrum would pass unchanged.
bool isPlain(const ConditionerSettings& settings);

// The settings of a name: "none" (the plain spectrum) or one of the tuned
// ones; throws std::invalid_argument naming the allowed
// names for an unknown one.
ConditionerSettings conditionerNamed(const std::string& name);
// Every name, in the order hosts list them.
const std::vector<std::string>& conditionerNames();

// Turns a frame's complex spectrum (bins 0 .. N/2 of an N-point transform of
// a windowed frame, samples in [-1, 1]) into the spectrum a beat tracker
// should see. Causal: the output for a frame depends on that frame and the
// ones before it only, so a live stream gets it with no added latency. Each
// bin keeps its phase and takes the conditioned magnitude. Allocates only
// when constructed; one instance per stream, used from one thread at a time.
class SpectrumConditioner {
 public:
  // `windowPower` is the sum of the squared window weights, for the level.
  // Throws std::invalid_argument for fewer than 2 bins, a rate or window
  // power that is not positive, or a setting out of range.
  SpectrumConditioner(const ConditionerSettings& settings, std::size_t bins, double sampleRate,
                      double windowPower);

  // Conditions one frame in place; `bins` values.
  void process(std::complex<float>* spectrum);
  // The level of the last frame processed, dB relative to full scale.
  double levelDb() const { return lastLevelDb; }
  bool gateOpen() const { return open; }
  // Forgets the past: the next frame is treated as the first.
  void reset();

 private:
  // The loops of process(), built once per vector unit (common/VectorKernels.h).
  void processLoops(std::complex<float>* spectrum);
  void processBase(std::complex<float>* spectrum);
  void processAvx2(std::complex<float>* spectrum);

  ConditionerSettings settings;
  std::size_t bins;
  double windowPower;
  vesk_kernels::AlignedVector<float> peaks;                 // per bin, for whitening
  vesk_kernels::AlignedVector<float> weights;               // per bin, for the band weighting
  vesk_kernels::AlignedVector<float> magnitudes, original;  // scratch, per bin
  double lastLevelDb = -400.0;
  bool open = false;
  int framesBelow = 0;
};

}  // namespace vesk_conditioning

#endif
