#include "tracking/devices/CaptureDevice.h"

#include "tracking/devices/AlsaCapture.h"
#include "tracking/devices/JackCapture.h"

namespace vesk_tracking {

std::string CaptureDevice::label() const {
  return (kind == Kind::Jack ? "jack:" : "alsa:") + name;
}

std::unique_ptr<AudioReader> openCaptureDevice(const CaptureDevice& d) {
  if (d.kind == CaptureDevice::Kind::Alsa)
    return std::make_unique<AlsaCapture>(d.name, d.rate, d.channels > 0 ? d.channels : 1);
  JackCapture::Options o;
  o.clientName = d.name;
  o.channels = d.channels;
  o.autoConnect = d.autoConnect;
  o.connect = d.connect;
  return std::make_unique<JackCapture>(o);
}

}  // namespace vesk_tracking
