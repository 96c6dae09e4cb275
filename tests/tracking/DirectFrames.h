#ifndef VESK_TESTS_TRACKING_DIRECTFRAMES_H
#define VESK_TESTS_TRACKING_DIRECTFRAMES_H

#include <complex>
#include <cstddef>
#include <string>
#include <vector>

#include "tracking/frames/FrameMaker.h"

// One analysis frame: its window (channels rows of the frame length), its
// spectrum (bins 0 .. N/2) and the new input samples per channel it brought.
struct Frame {
  std::vector<float> audio;
  std::vector<std::complex<float>> spectrum;
  int newSamples = 0;
};

// A test signal of `frames` interleaved frames, neither periodic in a frame
// nor the same on every channel.
std::vector<float> Tone(std::size_t frames, int channels);

// The frames of `samples` (interleaved, at the processing rate) computed one
// by one, straight from their definition: window f ends with the samples
// [f*hop, (f+1)*hop), zeros elsewhere; the spectrum is the FFT of the channel
// mean times the window.
std::vector<Frame> Direct(const std::vector<float>& samples, int channels,
                          const vesk_tracking::FrameFormat& format);

// Bit for bit, not merely ==, so that a zero's sign counts too.
void ExpectSameFrames(const std::vector<Frame>& a, const std::vector<Frame>& b,
                      const std::string& what);

#endif
