#ifndef VESK_BEAT_EVENTWRITER_H
#define VESK_BEAT_EVENTWRITER_H

#include <cstdio>
#include <memory>

#include "apps/vesk-beat/output/BeatSink.h"
#include "apps/vesk-beat/output/OutputFormat.h"
#include "tracking/beats/BeatEvent.h"

namespace vesk_beat {

// Writes beats as they are found, and the summary of each input, in one of
// the output formats. Every line is flushed at once, for live use.
class EventWriter : public BeatSink {
 public:
  virtual void header() {}
  virtual void summary(const vesk_tracking::FileSummary& summary) = 0;

  // errno of the first failed write to the output (EPIPE when its reader
  // went away, ENOSPC on a full disk), or 0 while every line got through.
  int writeError() const { return error; }

 protected:
  // Flushes the line just written to `out`, noting a failure.
  void endLine(std::FILE* out);

 private:
  int error = 0;
};

// `out` gets the beats; `info` gets what does not fit the format (the CSV
// summary). With `showFile`, text lines name the input.
std::unique_ptr<EventWriter> makeEventWriter(OutputFormat format, std::FILE* out, std::FILE* info,
                                             bool showFile);

// A JSON string literal for `text` (quotes included).
std::string jsonString(const std::string& text);
// A CSV field for `text`, quoted when it needs to be.
std::string csvField(const std::string& text);

}  // namespace vesk_beat

#endif
