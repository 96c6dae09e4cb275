#ifndef VESK_VOICE_CANCEL_VOICECANCEL_H
#define VESK_VOICE_CANCEL_VOICECANCEL_H

#include <cstdint>
#include <vector>

#include "common/FftComplex.h"
#include "voice_cancel/SemiBlind.h"

// Removes a known signal (the robot's own voice) from a microphone spectrum,
// one frame at a time, with one adaptive canceller per bin. Bins 0 and 1 are
// never processed and always come out as 0.
class VoiceCancel {
 public:
  // For a transform of `size` samples: size/2 + 1 bins. Throws
  // std::invalid_argument when size exceeds INT_MAX and std::bad_alloc when
  // an allocation fails.
  explicit VoiceCancel(std::uint64_t size);
  ~VoiceCancel();

  VoiceCancel(const VoiceCancel&) = delete;
  VoiceCancel& operator=(const VoiceCancel&) = delete;

  // Runs one adaptation step of every bin and writes the magnitudes of the
  // cleaned spectrum. All three vectors must hold size/2 + 1 elements; returns
  // 0, or -1 on a size mismatch, in which case nothing is changed.
  int ExecuteVoiceCancel(std::vector<FftComplex> reference, std::vector<FftComplex> mixture,
                         std::vector<double>& magnitude);

 private:
  double** mix_rows = nullptr;
  double** ref_rows = nullptr;
  double** out_rows = nullptr;
  SemiBlind* semi_blind = nullptr;
  std::uint64_t size;

  void release();
};

#endif
