#ifndef VESK_TRACKING_RAWFORMAT_H
#define VESK_TRACKING_RAWFORMAT_H

#include <string>

namespace vesk_tracking {

// The layout of headerless PCM: little-endian interleaved samples.
struct RawFormat {
  enum class Sample { S16, S24, S32, F32 };
  Sample sample = Sample::S16;
  int rate = 0;
  int channels = 0;
  bool given = false;

  int bytesPerSample() const;
  int bytesPerFrame() const { return bytesPerSample() * channels; }
};

// Parses "s16le:RATE:CHANNELS" (also s24le, s32le, f32le). Throws SettingError.
RawFormat parseRawFormat(const std::string& text);

}  // namespace vesk_tracking

#endif
