#ifndef VESK_CONDITIONING_FASTLOG_H
#define VESK_CONDITIONING_FASTLOG_H

#include <cstdint>
#include <cstring>

namespace vesk_conditioning {

// The natural logarithm of z >= 1 (finite), within 1e-4 of std::log: the
// exponent read from the bits and a polynomial for the mantissa. Written
// without calls or branches, so that loops over bins vectorise; the library's
// log does neither, and a front end needs no more digits.
inline float logAtLeastOne(float z) {
  std::uint32_t bits;
  std::memcpy(&bits, &z, sizeof bits);
  const float exponent = static_cast<float>(static_cast<int>(bits >> 23) - 127);
  bits = (bits & 0x007FFFFFu) | 0x3F800000u;  // the mantissa, in [1, 2)
  float m;
  std::memcpy(&m, &bits, sizeof m);
  const float t = m - 1.0f;
  const float lnMantissa =
      t *
      (0.99949556f + t * (-0.49190896f + t * (0.28947478f + t * (-0.13606275f + t * 0.03215845f))));
  return exponent * 0.69314718f + lnMantissa;
}

}  // namespace vesk_conditioning

#endif
