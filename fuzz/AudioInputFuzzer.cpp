// Fuzzes the audio input path of vesk-beat. The first byte picks the path:
//  - a file: the rest is written to a file that SndfileReader opens, as
//    `vesk-beat FILE` does;
//  - a stream: the rest is read by openPcmStream, as `vesk-beat -` reads
//    standard input (a header libsndfile reads through its virtual I/O, or
//    raw PCM in a layout the byte picks).
// The reader then feeds the tool's source node (with its resampler when the
// rate differs, and its reading thread for a file) for up to a thousand frames.
//
// What must hold: no crash, hang or sanitizer report; a bad input ends in an
// AudioError with a message; every delivered sample and every spectrum value
// is a finite number.

#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "node/host/Rill.h"
#include "tracking/input/PcmStreamReader.h"
#include "tracking/input/RawFormat.h"
#include "tracking/input/SndfileReader.h"
#include "tracking/network/AudioSourceNode.h"

namespace {

constexpr int kRate = 16000;  // the tool's default processing rate, frame and hop
constexpr int kFrame = 512;
constexpr int kHop = 160;
constexpr int kMostFrames = 1000;

// A file in memory holding the bytes, read from its start.
int MemoryFile(const std::uint8_t* data, std::size_t size) {
  int fd = memfd_create("fuzz-audio", 0);
  if (fd < 0) std::abort();
  std::size_t done = 0;
  while (done < size) {
    ssize_t n = ::write(fd, data + done, size - done);
    if (n <= 0) std::abort();
    done += static_cast<std::size_t>(n);
  }
  if (::lseek(fd, 0, SEEK_SET) != 0) std::abort();
  return fd;
}

vesk_tracking::RawFormat PickRawFormat(std::uint8_t b) {
  static const vesk_tracking::RawFormat::Sample kSamples[] = {
      vesk_tracking::RawFormat::Sample::S16, vesk_tracking::RawFormat::Sample::S24,
      vesk_tracking::RawFormat::Sample::S32, vesk_tracking::RawFormat::Sample::F32};
  static const int kRates[] = {8000, 16000, 44100, 48000};
  vesk_tracking::RawFormat f;
  f.sample = kSamples[b & 3];
  f.rate = kRates[(b >> 2) & 3];
  f.channels = 1 + ((b >> 4) & 3);
  f.given = (b & 0x40) == 0;  // without it, only a stream with a header is accepted
  return f;
}

void Pull(std::unique_ptr<vesk_tracking::AudioReader> reader) {
  if (reader->channels() < 1 || reader->sampleRate() < 1) {
    std::fprintf(stderr, "reader accepted %d channels at %d Hz\n", reader->channels(),
                 reader->sampleRate());
    std::abort();
  }
  vesk_tracking::AudioSourceNode source("source", std::move(reader), kRate,
                                        {kFrame, kHop, WindowFunction::Hann});
  const int audioID = source.translateOutput("AUDIO");
  const int spectrumID = source.translateOutput("FFTAUDIO");
  source.request(audioID, 0, 1);
  source.initialize();
  for (int count = 0; count < kMostFrames && source.hasNextFrame(); ++count) {
    RL::ObjectRef frame = source.getOutput(audioID, count);
    auto* m = dynamic_cast<RL::Matrix<float>*>(&*frame);
    if (m == nullptr || m->ncols() != static_cast<std::size_t>(kFrame)) std::abort();
    for (std::size_t r = 0; r < m->nrows(); ++r)
      for (std::size_t c = 0; c < m->ncols(); ++c)
        if (!std::isfinite((*m)(r, c))) {
          std::fprintf(stderr, "frame %d holds a sample %g\n", count, (*m)(r, c));
          std::abort();
        }
    RL::ObjectRef spectrum = source.getOutput(spectrumID, count);
    auto* s = dynamic_cast<RL::Matrix<std::complex<float>>*>(&*spectrum);
    if (s == nullptr || s->ncols() != static_cast<std::size_t>(kFrame / 2 + 1)) std::abort();
    for (std::size_t k = 0; k < s->ncols(); ++k)
      if (!std::isfinite((*s)(0, k).real()) || !std::isfinite((*s)(0, k).imag())) {
        std::fprintf(stderr, "spectrum %d holds a value %g%+gi in bin %zu\n", count,
                     (*s)(0, k).real(), (*s)(0, k).imag(), k);
        std::abort();
      }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::uint8_t how = data[0];
  const int fd = MemoryFile(data + 1, size - 1);
  try {
    if ((how & 0x80) == 0) {
      const std::string path = "/proc/self/fd/" + std::to_string(fd);
      Pull(std::make_unique<vesk_tracking::SndfileReader>(path, "input.wav"));
    } else {
      Pull(vesk_tracking::openPcmStream(fd, "standard input", PickRawFormat(how)));
    }
  } catch (const vesk_tracking::AudioError& e) {
    if (std::string(e.what()).empty()) std::abort();  // every refusal says why
  } catch (RL::BaseException* e) {
    // The resampler's errors reach here through the framework's getOutput.
    delete e;
  }
  ::close(fd);
  return 0;
}
