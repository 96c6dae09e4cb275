#ifndef VESK_BEAT_BEATSFILE_H
#define VESK_BEAT_BEATSFILE_H

#include <string>
#include <vector>

#include "apps/vesk-beat/output/BeatSink.h"
#include "tracking/beats/BeatEvent.h"

namespace vesk_beat {

// Writes the beat-annotation text: the time in seconds of every reliable beat,
// one per line. The file appears whole or not at all. Throws OutputError.
void writeBeatsFile(const std::string& path, const std::vector<vesk_tracking::BeatEvent>& beats);

// Keeps the beats and writes the file when the input has ended.
class BeatsFileSink : public BeatSink {
 public:
  explicit BeatsFileSink(std::string path) : path(std::move(path)) {}
  void beat(const vesk_tracking::BeatEvent& event) override {
    if (event.reliable) beats.push_back(event);
  }
  void finish() override { writeBeatsFile(path, beats); }

 private:
  std::string path;
  std::vector<vesk_tracking::BeatEvent> beats;
};

}  // namespace vesk_beat

#endif
