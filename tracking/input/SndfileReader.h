#ifndef VESK_TRACKING_SNDFILEREADER_H
#define VESK_TRACKING_SNDFILEREADER_H

#include <memory>
#include <string>
#include <vector>

#include <sndfile.h>

#include "tracking/input/AudioReader.h"
#include "tracking/input/SndfileStream.h"

namespace vesk_tracking {

// Throws AudioError naming the file unless `path` exists, is not a
// directory and can be read.
void checkInputFile(const std::string& path, const std::string& name);

// Any audio file libsndfile reads (WAV, FLAC, Ogg, AIFF, ...), from a file
// or from a stream as it arrives.
class SndfileReader : public AudioReader {
 public:
  // Throws AudioError naming the file: missing, unreadable, a directory, or a
  // format libsndfile does not know.
  // `name` is how messages call the file (as the user gave it).
  explicit SndfileReader(const std::string& path, const std::string& name = std::string());
  // A stream with a header (see SndfileStream). Throws AudioError naming it.
  explicit SndfileReader(std::unique_ptr<SndfileStream> stream);
  ~SndfileReader() override;
  SndfileReader(const SndfileReader&) = delete;
  SndfileReader& operator=(const SndfileReader&) = delete;

  int channels() const override { return info.channels; }
  int sampleRate() const override { return info.samplerate; }
  std::int64_t frameCount() const override { return stream ? -1 : info.frames; }
  std::size_t read(float* out, std::size_t frames) override;
  std::string shortfall() const override { return shortNotice; }
  bool boundedSamples() const override { return sixteenBit; }

 private:
  void checkLayout();

  std::string path;
  std::string name;  // quoted as messages show it
  std::unique_ptr<SndfileStream> stream;
  SF_INFO info{};
  SNDFILE* file = nullptr;
  std::int64_t delivered = 0;
  std::string shortNotice;
  // 16-bit samples are read as they are stored and scaled here (a loop the
  // compiler vectorises), not converted one by one by libsndfile.
  bool sixteenBit = false;
  std::vector<short> shorts;
};

}  // namespace vesk_tracking

#endif
