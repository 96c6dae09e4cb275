#ifndef VESK_TRACKING_ALSACAPTURE_H
#define VESK_TRACKING_ALSACAPTURE_H

#include <cstdint>
#include <string>
#include <vector>

#include "tracking/input/AudioReader.h"

typedef struct _snd_pcm snd_pcm_t;

namespace vesk_tracking {

// Live audio captured from an ALSA PCM ("default", "hw:1,0", "plughw:1,0",
// or any PCM of the configuration), at the rate and channel count asked for
// (a "plug" PCM converts; a hardware one must support them). Reads return as
// soon as a period has arrived, and every 50 ms at most, so that Ctrl-C ends
// the stream (read() then returns 0, as at the end of a stream). An overrun
// (the tracker fell behind) is recovered and counted; shortfall() names how
// many there were.
class AlsaCapture : public AudioReader {
 public:
  // Throws AudioError naming the device and why it cannot be used.
  AlsaCapture(const std::string& device, int rate, int channels);
  ~AlsaCapture() override;
  AlsaCapture(const AlsaCapture&) = delete;
  AlsaCapture& operator=(const AlsaCapture&) = delete;

  int channels() const override { return channelCount; }
  int sampleRate() const override { return rate; }
  std::size_t read(float* out, std::size_t frames) override;
  bool live() const override { return true; }
  std::string shortfall() const override;

  std::int64_t overruns() const { return xruns; }

 private:
  std::string name;
  snd_pcm_t* pcm = nullptr;
  int rate;
  int channelCount;
  bool floats = true;                // the device gives floats, else 16-bit integers
  std::vector<std::int16_t> shorts;  // read buffer for 16-bit devices
  std::int64_t xruns = 0;
};

// The capture devices ALSA knows: "NAME\tDESCRIPTION" per line.
std::vector<std::string> alsaCaptureDevices();

// Whether ALSA knows a capture device of this name (busy or not).
bool alsaCaptureDeviceExists(const std::string& name);

// ALSA's library prints its own lines on standard error; a program that says
// what went wrong itself turns them off. Process-wide.
void silenceAlsaLibrary();

}  // namespace vesk_tracking

#endif
