#ifndef VESK_TRACKING_PUSHEDAUDIO_H
#define VESK_TRACKING_PUSHEDAUDIO_H

#include <cstddef>
#include <vector>

#include "tracking/input/AudioReader.h"

namespace vesk_tracking {

// Audio handed over by its host block by block (a binding, a plug-in host)
// instead of read from a file or a stream. read() hands out what was pushed;
// with nothing waiting it returns 0 and is starved() until more is pushed or
// the input is closed.
class PushedAudio : public AudioReader {
 public:
  // Throws std::invalid_argument for a channel count outside 1 .. 1024 or a rate below 1.
  PushedAudio(int channels, int rate);

  int channels() const override { return channelCount; }
  int sampleRate() const override { return rate; }
  std::size_t read(float* out, std::size_t frames) override;
  bool starved() const override { return !closed && waitingFrames() == 0; }

  // Appends `frames` interleaved frames. Throws std::logic_error once closed.
  void push(const float* samples, std::size_t frames);
  // No more audio will come: the last frames are then made.
  void close() { closed = true; }
  bool isClosed() const { return closed; }

 private:
  std::size_t waitingFrames() const { return waiting.size() / channelCount - taken; }

  int channelCount;
  int rate;
  std::vector<float> waiting;  // interleaved; the first `taken` frames already read
  std::size_t taken = 0;
  bool closed = false;
};

}  // namespace vesk_tracking

#endif
