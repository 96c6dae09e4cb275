#ifndef VESK_CONDITIONING_BANDONSETS_H
#define VESK_CONDITIONING_BANDONSETS_H

#include <complex>
#include <cstddef>

namespace vesk_conditioning {

// The onsets of three bands of a frame: the low band (kick and bass, below
// 150 Hz), the high band (hats and cymbals, 3.5-12 kHz, or up to the top
// bin) and the middle between them (snare, chords, voices). A kick falls on
// the beat far more often than a hat: comparing the two tells the beat from
// its off-beat. Each value is the rise of the band's log energy over the
// previous frame (0 when it falls). Causal; no allocation.
class BandOnsets {
 public:
  struct Value {
    double low = 0.0;
    double high = 0.0;
    double mid = 0.0;
  };
  // `bins` of each spectrum, `binHz` the width of a bin. Throws
  // std::invalid_argument for values out of range.
  BandOnsets(std::size_t bins, double binHz);

  Value process(const std::complex<float>* spectrum);
  // The same from each bin's power |X|^2 as a float, 0 where it is not
  // finite: the same values.
  Value processPowers(const float* power);

 private:
  template <typename Bins>
  Value rises(const Bins* x);

  std::size_t lowBegin, lowEnd, highBegin, highEnd;
  double lastLow = 0.0, lastHigh = 0.0, lastMid = 0.0;
};

}  // namespace vesk_conditioning

#endif
