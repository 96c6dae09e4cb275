#ifndef VESK_CONDITIONING_ONSETENERGY_H
#define VESK_CONDITIONING_ONSETENERGY_H

#include <complex>
#include <cstddef>
#include <optional>
#include <vector>

#include "common/AlignedVector.h"
#include "conditioning/after_node/BandOnsets.h"
#include "conditioning/after_node/BeatActivation.h"

namespace vesk_conditioning {

// How much new sound a frame brings, as the beat predictor weighs it: the rise
// of the log magnitudes over the previous frame, weighted toward the bass,
// less a share of its recent mean (steady noise or a dense texture rises a
// little on every frame and would blur the beat). Causal; allocates only when
// constructed. A host may compute it where it makes its spectra (another
// thread) and hand the values to the predictor.
class OnsetEnergy {
 public:
  struct Settings {
    double weightHz = 1000.0;   // bins weighted by 1 / (1 + f / weightHz); 0: all alike
    double floorDecay = 0.995;  // per frame, of the mean energy
    double floorRatio = 1.5;    // energy below this share of its mean counts as none
    bool bands = false;         // also the onsets of the low, middle and high bands
    bool activation = false;    // also the beat activation (with the bands)
  };
  struct Value {
    double energy = 0.0;
    bool sounding = false;                      // false: the frame is digitally silent
    BandOnsets::Value bands;                    // with Settings::bands; else 0
    double activation = 0.0;                    // with Settings::activation; else 0
    BeatActivation::Inputs activationInputs{};  // what it was computed from
  };

  // `bins` of each spectrum, `binHz` the width of a bin. Throws
  // std::invalid_argument for values out of range.
  OnsetEnergy(const Settings& settings, std::size_t bins, double binHz);

  // The next frame's spectrum, bins 0 .. bins - 1.
  Value process(const std::complex<float>* spectrum);

 private:
  Value processLoops(const std::complex<float>* spectrum);
  Value processAvx2(const std::complex<float>* spectrum);

  Settings settings;
  std::size_t bins;
  vesk_kernels::AlignedVector<float> lastLog, logNow, rises, weight;
  std::optional<BandOnsets> bandOnsets;
  std::optional<BeatActivation> activation;
  double mean = 0.0;
};

}  // namespace vesk_conditioning

#endif
