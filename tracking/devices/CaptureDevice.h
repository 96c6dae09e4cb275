#ifndef VESK_TRACKING_CAPTUREDEVICE_H
#define VESK_TRACKING_CAPTUREDEVICE_H

#include <memory>
#include <string>
#include <vector>

#include "tracking/input/AudioReader.h"

namespace vesk_tracking {

// A sound card to track, through ALSA or a JACK server.
struct CaptureDevice {
  enum class Kind { Alsa, Jack };
  Kind kind = Kind::Alsa;
  std::string name;         // the ALSA PCM ("default", "hw:1,0"), or the JACK client's name
  int rate = 48000;         // ALSA: the capture rate (JACK runs at its server's)
  int channels = 0;         // 0: ALSA 1; JACK one per port to connect, at most 2
  bool autoConnect = true;  // JACK: to the system's capture ports
  std::vector<std::string> connect;  // JACK: these ports instead

  // "alsa:default", "jack:vesk-beat": how messages and summaries name it.
  std::string label() const;
};

// Opens the device for capture. Throws AudioError naming it and why.
std::unique_ptr<AudioReader> openCaptureDevice(const CaptureDevice& device);

}  // namespace vesk_tracking

#endif
