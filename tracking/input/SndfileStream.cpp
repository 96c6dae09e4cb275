#include "tracking/input/SndfileStream.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "tracking/input/AudioReader.h"

namespace vesk_tracking {

namespace {

// A stream's length is unknown: libsndfile is told one no stream reaches,
// so that a header without a size (or a wrong one) reads to the end.
constexpr sf_count_t kStreamLength = sf_count_t{1} << 62;
// Beyond this, a header is taken for one a stream cannot give (it sits at
// the end, or its sizes are garbage).
constexpr sf_count_t kLongestHeader = sf_count_t{1} << 20;

// Bytes a read may be cut after without losing a sample: a whole frame for
// plain samples, any byte for the codecs that take what comes (FLAC, Ogg,
// MPEG), 0 for block codecs, which must get all they ask for.
std::size_t grainOf(const SF_INFO& info) {
  switch (info.format & SF_FORMAT_TYPEMASK) {
    case SF_FORMAT_FLAC:
    case SF_FORMAT_OGG:
    case SF_FORMAT_MPEG:
      return 1;
    default:
      break;
  }
  switch (info.format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_ULAW:
    case SF_FORMAT_ALAW:
      return static_cast<std::size_t>(info.channels);
    default:
      return static_cast<std::size_t>(sndfileSampleBytes(info.format) * info.channels);
  }
}

}  // namespace

int sndfileSampleBytes(int format) {
  switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
      return 1;
    case SF_FORMAT_PCM_16:
      return 2;
    case SF_FORMAT_PCM_24:
      return 3;
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT:
      return 4;
    case SF_FORMAT_DOUBLE:
      return 8;
    default:
      return 0;
  }
}

SndfileStream::SndfileStream(std::unique_ptr<ByteStream> stream, std::string formatName)
    : in(std::move(stream)), format(std::move(formatName)) {}

SNDFILE* SndfileStream::open(SF_INFO& info) {
  SF_VIRTUAL_IO io{&length, &seek, &read, nullptr, &tell};
  for (;;) {
    position = 0;
    unanswered = -1;
    info = SF_INFO{};
    SNDFILE* file = sf_open_virtual(&io, SFM_READ, &info, this);
    if (failure) {
      if (file) sf_close(file);
      std::rethrow_exception(failure);
    }
    if (file && info.frames == 0 && zeroSizeIsUnknown(file, info)) continue;
    if (file) {
      opening = false;
      grain = grainOf(info);
      const int sub = info.format & SF_FORMAT_SUBMASK;
      blockCodec =
          sndfileSampleBytes(info.format) == 0 && sub != SF_FORMAT_ULAW && sub != SF_FORMAT_ALAW;
      return file;
    }
    const std::string why = sf_strerror(nullptr);
    const sf_count_t arrived = bufferStart + static_cast<sf_count_t>(buffer.size());
    if (unanswered < 0 || (ended && unanswered > arrived))
      throw AudioError(name() + ": unsupported or damaged " + format + " stream (" + why + ")");
    if (unanswered > kLongestHeader)
      throw AudioError(name() + ": the " + format +
                       " header does not end within the stream's first MiB, and a stream cannot "
                       "be read twice; save it to a file and give the file's name");
    honoured = unanswered;
  }
}

bool SndfileStream::zeroSizeIsUnknown(SNDFILE* file, const SF_INFO& info) {
  // A recorder writing WAV to a pipe may leave the data chunk's size 0: the
  // size is then unknown, and the stream is read to its end. libsndfile
  // stops at the samples, right after that chunk's header.
  const std::size_t at = static_cast<std::size_t>(position) - 8;
  if ((info.format & SF_FORMAT_TYPEMASK) != SF_FORMAT_WAV || position < 8 ||
      buffer.size() < at + 8 || buffer.compare(at, 8, std::string("data\0\0\0\0", 8)) != 0)
    return false;
  sf_close(file);
  buffer.replace(at + 4, 4, "\xff\xff\xff\xff");
  return true;
}

void SndfileStream::check() {
  if (failure) std::rethrow_exception(std::exchange(failure, nullptr));
  if (seekRefused)
    throw AudioError(name() + ": reading this " + format +
                     " stream needs a seek back, which a stream cannot make; save it to a file "
                     "and give the file's name");
}

sf_count_t SndfileStream::length(void*) {
  return kStreamLength;
}

sf_count_t SndfileStream::tell(void* self) {
  return static_cast<SndfileStream*>(self)->position;
}

sf_count_t SndfileStream::seek(sf_count_t offset, int whence, void* self) {
  auto& s = *static_cast<SndfileStream*>(self);
  sf_count_t target = offset;
  if (whence == SEEK_CUR) target += s.position;
  if (whence == SEEK_END) target += kStreamLength;
  if (target < 0) return -1;
  if (target < s.bufferStart) {
    s.seekRefused = true;
    return -1;
  }
  s.position = target;
  return target;
}

sf_count_t SndfileStream::read(void* out, sf_count_t n, void* self) {
  auto& s = *static_cast<SndfileStream*>(self);
  if (s.failure || n <= 0) return 0;
  // An exception must not cross libsndfile's C frames: it is kept for
  // open() or check() to throw.
  try {
    return s.readAt(static_cast<unsigned char*>(out), n);
  } catch (...) {
    s.failure = std::current_exception();
    s.ended = true;
    return 0;
  }
}

sf_count_t SndfileStream::readAt(unsigned char* out, sf_count_t n) {
  const sf_count_t arrived = bufferStart + static_cast<sf_count_t>(buffer.size());
  if (position > arrived) {
    if (opening && position > honoured) {
      if (unanswered < 0) unanswered = position;
      return 0;
    }
    // A skip forward: the bytes are taken and, once open, dropped.
    for (;;) {
      const sf_count_t missing = position - bufferStart - static_cast<sf_count_t>(buffer.size());
      if (missing <= 0) break;
      const std::size_t want =
          buffer.size() + static_cast<std::size_t>(std::min<sf_count_t>(missing, 1 << 16));
      if (!fill(want, want)) return 0;
      if (!opening) {
        const std::size_t drop = static_cast<std::size_t>(
            std::min<sf_count_t>(position - bufferStart, static_cast<sf_count_t>(buffer.size())));
        buffer.erase(0, drop);
        bufferStart += static_cast<sf_count_t>(drop);
      }
    }
  }
  const std::size_t offset = static_cast<std::size_t>(position - bufferStart);
  const std::size_t asked = static_cast<std::size_t>(std::min<sf_count_t>(n, 1 << 24));
  // While the header is read, and for block codecs, a read waits for all it
  // asks; otherwise for one grain, taking whatever else has come with it.
  const std::size_t needed = opening || grain == 0 ? asked : std::min(asked, grain);
  fill(offset + needed, offset + std::max<std::size_t>(asked, 4096));
  std::size_t k = std::min(asked, buffer.size() - offset);
  if (!opening && grain > 1 && k >= grain) k -= k % grain;
  std::memcpy(out, buffer.data() + offset, k);
  position += static_cast<sf_count_t>(k);
  if (!opening) {
    buffer.erase(0, offset + k);
    bufferStart = position;
  }
  return static_cast<sf_count_t>(k);
}

bool SndfileStream::fill(std::size_t size, std::size_t most) {
  while (buffer.size() < size) {
    if (ended) return false;
    const std::size_t old = buffer.size();
    buffer.resize(std::max(most, size));
    const std::size_t got = in->readSome(&buffer[old], buffer.size() - old);
    buffer.resize(old + got);
    if (got == 0) ended = true;
  }
  return true;
}

}  // namespace vesk_tracking
