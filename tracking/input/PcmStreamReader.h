#ifndef VESK_TRACKING_PCMSTREAMREADER_H
#define VESK_TRACKING_PCMSTREAMREADER_H

#include <functional>
#include <memory>
#include <vector>

#include "tracking/input/AudioReader.h"
#include "tracking/input/ByteStream.h"
#include "tracking/input/RawFormat.h"

namespace vesk_tracking {

// Raw interleaved little-endian PCM from a byte stream, read as it arrives.
class PcmStreamReader : public AudioReader {
 public:
  PcmStreamReader(std::unique_ptr<ByteStream> in, RawFormat format);

  int channels() const override { return format.channels; }
  int sampleRate() const override { return format.rate; }
  std::size_t read(float* out, std::size_t frames) override;

 private:
  std::unique_ptr<ByteStream> in;
  RawFormat format;
  std::vector<unsigned char> bytes;  // read buffer, starting with a partial frame
  std::size_t carried = 0;           // bytes of a partial frame kept from the last read
};

// Standard input (or any descriptor): read by libsndfile when it starts with
// the header of a container it knows (WAV, RF64, AIFF, AU, FLAC, Ogg, CAF,
// Wave64), otherwise raw PCM in the layout `raw` (which must then be given). With
// `ownsFd` the reader closes the descriptor, also when this throws. With a
// `waitHook`, reads wait in slices and call it between them (see
// ByteStream::setWaitHook). Throws AudioError.
std::unique_ptr<AudioReader> openPcmStream(int fd, const std::string& name, const RawFormat& raw,
                                           bool ownsFd = false,
                                           std::function<void()> waitHook = {});

// Converts n interleaved samples of `format` to floats in [-1, 1].
void convertPcm(const unsigned char* in, std::size_t n, RawFormat::Sample format, float* out);

}  // namespace vesk_tracking

#endif
