#include "tracking/devices/AlsaCapture.h"

#include <alsa/asoundlib.h>

#include <cerrno>

#include "tracking/process/Interrupt.h"

namespace vesk_tracking {

namespace {

// Latency the device buffers may add: short, as a live tracker wants, yet
// long enough for a loaded machine.
constexpr unsigned kBufferMicroseconds = 100000;
constexpr int kWaitMilliseconds = 50;

std::string why(int error) {
  return snd_strerror(error);
}

}  // namespace

AlsaCapture::AlsaCapture(const std::string& device, int rate, int channels)
    : name(device), rate(rate), channelCount(channels) {
  if (channels < 1 || channels > 64)
    throw AudioError("--channels: " + std::to_string(channels) +
                     " is out of range (allowed: 1..64)");
  int e = snd_pcm_open(&pcm, device.c_str(), SND_PCM_STREAM_CAPTURE, 0);
  if (e < 0) {
    pcm = nullptr;
    throw AudioError("cannot open the capture device '" + device + "': " + why(e) +
                     " (vesk-beat --list-devices lists them)");
  }
  // Floats when the device gives them, else 16-bit samples; converted here.
  e = snd_pcm_set_params(pcm, SND_PCM_FORMAT_FLOAT_LE, SND_PCM_ACCESS_RW_INTERLEAVED,
                         static_cast<unsigned>(channels), static_cast<unsigned>(rate), 1,
                         kBufferMicroseconds);
  if (e < 0) {
    floats = false;
    e = snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED,
                           static_cast<unsigned>(channels), static_cast<unsigned>(rate), 1,
                           kBufferMicroseconds);
  }
  if (e < 0) {
    snd_pcm_close(pcm);
    pcm = nullptr;
    throw AudioError("the capture device '" + device + "' cannot give " + std::to_string(channels) +
                     " channel(s) at " + std::to_string(rate) + " Hz: " + why(e) +
                     " (try plughw:… or default, which convert)");
  }
  e = snd_pcm_start(pcm);
  if (e < 0 && e != -EBADFD) {
    snd_pcm_close(pcm);
    pcm = nullptr;
    throw AudioError("cannot start capturing from '" + device + "': " + why(e));
  }
}

AlsaCapture::~AlsaCapture() {
  if (pcm) snd_pcm_close(pcm);
}

std::size_t AlsaCapture::read(float* out, std::size_t frames) {
  for (;;) {
    if (interrupted()) return 0;  // Ctrl-C ends a live stream like its end
    const int ready = snd_pcm_wait(pcm, kWaitMilliseconds);
    if (ready == 0) continue;
    snd_pcm_sframes_t got;
    if (floats) {
      got = snd_pcm_readi(pcm, out, frames);
    } else {
      shorts.resize(frames * static_cast<std::size_t>(channelCount));
      got = snd_pcm_readi(pcm, shorts.data(), frames);
      if (got > 0)
        for (std::size_t i = 0; i < static_cast<std::size_t>(got) * channelCount; ++i)
          out[i] = static_cast<float>(shorts[i]) / 32768.0f;
    }
    if (got > 0) return static_cast<std::size_t>(got);
    const int e = got < 0 ? static_cast<int>(got) : ready;
    if (e == 0 || e == -EAGAIN || e == -EINTR) continue;
    if (e == -EPIPE || e == -ESTRPIPE) {
      // An overrun (or a suspend): the samples in between are lost; counted.
      ++xruns;
      if (snd_pcm_recover(pcm, e, 1) >= 0) {
        snd_pcm_start(pcm);  // already running after some recoveries: no matter
        continue;
      }
    }
    throw AudioError("capture device '" + name + "': " + why(e));
  }
}

std::string AlsaCapture::shortfall() const {
  if (xruns == 0) return std::string();
  return std::to_string(xruns) + " overrun(s): the tracker fell behind the device and the " +
         "audio in between was lost";
}

std::vector<std::string> alsaCaptureDevices() {
  std::vector<std::string> devices;
  void** hints = nullptr;
  if (snd_device_name_hint(-1, "pcm", &hints) < 0) return devices;
  for (void** h = hints; *h; ++h) {
    char* name = snd_device_name_get_hint(*h, "NAME");
    char* description = snd_device_name_get_hint(*h, "DESC");
    char* direction = snd_device_name_get_hint(*h, "IOID");
    // No direction: both; "Output": playback only.
    if (name && (!direction || std::string(direction) != "Output")) {
      std::string text = description ? description : "";
      for (char& c : text)
        if (c == '\n') c = ' ';
      devices.push_back(std::string(name) + "\t" + text);
    }
    free(name);
    free(description);
    free(direction);
  }
  snd_device_name_free_hint(hints);
  return devices;
}

bool alsaCaptureDeviceExists(const std::string& name) {
  snd_pcm_t* probe = nullptr;
  const int e = snd_pcm_open(&probe, name.c_str(), SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK);
  if (e >= 0) snd_pcm_close(probe);
  return e != -ENOENT;
}

namespace {
void ignoreAlsaMessage(const char*, int, const char*, int, const char*, ...) {}
}  // namespace

void silenceAlsaLibrary() {
  snd_lib_error_set_handler(&ignoreAlsaMessage);
}

}  // namespace vesk_tracking
