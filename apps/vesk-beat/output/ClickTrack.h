#ifndef VESK_BEAT_CLICKTRACK_H
#define VESK_BEAT_CLICKTRACK_H

#include <string>
#include <vector>

#include "apps/vesk-beat/output/BeatSink.h"

namespace vesk_beat {

// Writes `path`: the audio file `input` (its rate and channels, 16-bit WAV)
// with a click on every time in `beats` (seconds), for listening to the
// beats. The file appears whole or not at all. Throws OutputError, or
// AudioError when the input cannot be read again.
void writeClickTrack(const std::string& path, const std::string& input, const std::string& name,
                     const std::vector<double>& beats);

// Keeps the reliable beats and writes the click track when the input has ended.
class ClickTrackSink : public BeatSink {
 public:
  ClickTrackSink(std::string path, std::string input, std::string name)
      : path(std::move(path)), input(std::move(input)), name(std::move(name)) {}
  void beat(const vesk_tracking::BeatEvent& event) override {
    if (event.reliable) beats.push_back(event.time);
  }
  void finish() override { writeClickTrack(path, input, name, beats); }

 private:
  std::string path, input, name;
  std::vector<double> beats;
};

}  // namespace vesk_beat

#endif
