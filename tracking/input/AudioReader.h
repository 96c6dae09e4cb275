#ifndef VESK_TRACKING_AUDIOREADER_H
#define VESK_TRACKING_AUDIOREADER_H

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace vesk_tracking {

// An input that cannot be opened or read; the message names it.
class AudioError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A source of interleaved float samples in [-1, 1].
class AudioReader {
 public:
  virtual ~AudioReader() = default;
  virtual int channels() const = 0;
  virtual int sampleRate() const = 0;
  // Frames in the whole input, or -1 when unknown (a stream).
  virtual std::int64_t frameCount() const { return -1; }
  // Reads up to `frames` frames into `out` (frames * channels() floats) and
  // returns how many it read; 0 only at the end. A stream returns as soon as
  // some data has arrived. Throws AudioError on a read error.
  virtual std::size_t read(float* out, std::size_t frames) = 0;
  // True while read() returns 0 only because the caller has not handed over
  // more audio yet: the input goes on (audio pushed by a host, PushedAudio).
  virtual bool starved() const { return false; }
  // Why the input held less audio than it promised (a header longer than
  // the data, a file cut short while read); empty when it did not. Final
  // once read() has returned 0.
  virtual std::string shortfall() const { return std::string(); }
  // True when every sample read() gives is known to be finite and within
  // [-1, 1] (decoded from integers), so that no one needs to check them.
  virtual bool boundedSamples() const { return false; }
  // True for a sound card: its samples are wanted with the least delay, and
  // the resampler gives up a little of a file's exactness for it.
  virtual bool live() const { return false; }
};

}  // namespace vesk_tracking

#endif
