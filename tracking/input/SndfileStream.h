#ifndef VESK_TRACKING_SNDFILESTREAM_H
#define VESK_TRACKING_SNDFILESTREAM_H

#include <exception>
#include <memory>
#include <string>

#include <sndfile.h>

#include "tracking/input/ByteStream.h"

namespace vesk_tracking {

// Bytes per sample of a libsndfile format, or 0 for a compressed one.
int sndfileSampleBytes(int format);

// A stream (a pipe, a FIFO, a socket) as libsndfile's virtual I/O sees it.
// libsndfile reads a header by seeking: back over bytes it has read, and
// past the sample data to look for chunks after it. While the header is
// read every byte taken is kept, so seeks back work; a seek past the bytes
// that have come is answered with an end of stream, as a file that ends
// there would be, so that opening never waits for the audio. When that end
// made the header unreadable (a chunk skipped inside it), the header is read
// again with the skipped bytes taken from the stream. Once open, reads
// return whole sample frames as soon as one has come, so that a live writer
// is heard a hop at a time.
class SndfileStream {
 public:
  // `format` names the container for messages ("WAV", "FLAC", ...).
  SndfileStream(std::unique_ptr<ByteStream> in, std::string format);
  SndfileStream(const SndfileStream&) = delete;
  SndfileStream& operator=(const SndfileStream&) = delete;

  // Reads the header. Throws AudioError naming the stream and the format,
  // or what the byte stream or its wait hook threw.
  SNDFILE* open(SF_INFO& info);
  // After a libsndfile read: throws what a read of the byte stream threw,
  // or AudioError when libsndfile wanted to seek back, which a stream
  // cannot do.
  void check();
  const std::string& name() const { return in->name(); }
  // True for codecs that decode whole blocks (FLAC, Vorbis, ADPCM, ...):
  // libsndfile fills a read of such a stream only from whole blocks.
  bool decodesBlocks() const { return blockCodec; }

 private:
  static sf_count_t length(void* self);
  static sf_count_t seek(sf_count_t offset, int whence, void* self);
  static sf_count_t read(void* out, sf_count_t n, void* self);
  static sf_count_t tell(void* self);
  sf_count_t readAt(unsigned char* out, sf_count_t n);
  // Closes `file` and marks the size unknown when a WAV stream's data chunk
  // has size 0; true when the header is to be read again.
  bool zeroSizeIsUnknown(SNDFILE* file, const SF_INFO& info);
  // Takes bytes from the stream until `size` are buffered, at most `most`;
  // false when the stream ended first.
  bool fill(std::size_t size, std::size_t most);

  std::unique_ptr<ByteStream> in;
  std::string format;
  std::string buffer;  // the stream's bytes from bufferStart on
  sf_count_t bufferStart = 0;
  sf_count_t position = 0;     // where libsndfile reads next
  bool ended = false;          // the stream has ended
  bool opening = true;         // the header is being read: keep every byte
  sf_count_t honoured = 0;     // seeks up to here are made by reading
  sf_count_t unanswered = -1;  // the first seek answered with an end
  std::size_t grain = 0;       // once open, reads give multiples of it; 0: all asked
  bool blockCodec = false;
  bool seekRefused = false;
  std::exception_ptr failure;  // thrown by the byte stream inside libsndfile
};

}  // namespace vesk_tracking

#endif
