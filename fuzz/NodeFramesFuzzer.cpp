// Fuzzes the BeatTracker node through the host framework: two small source
// nodes deliver "AUDIO" and "FFTAUDIO" frames of arbitrary shapes and values,
// and the node's outputs are requested frame by frame as a network would.
//
// Input layout: byte 0 picks the parameters (some of them absurd), byte 1 the
// frame width, channel count and VECTOR_FLAG, byte 2 the number of frames,
// byte 3 the reliability threshold; the rest is the material for the sample
// and spectrum values and, one byte per frame, what that frame does wrong
// (a wrong width, no rows, a value of another type, a request of another
// output or of an old frame).
//
// What must hold: no crash, hang or sanitizer report; a refused parameter set
// or frame is a framework exception with a message, and the node goes on
// answering (or refusing) later requests.

#include <unistd.h>

#include <complex>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iostream>
#include <memory>
#include <streambuf>
#include <string>
#include <vector>

#include "node/BeatTracker.h"
#include "node/host/Rill.h"

namespace {

class NullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return c; }
};

// Delivers on "OUTPUT" whatever `make` builds for the frame count.
class Source : public RL::BufferedNode {
 public:
  using Maker = std::function<RL::ObjectRef(int)>;
  Source(std::string name, Maker maker)
      : RL::BufferedNode(std::move(name), RL::ParameterSet()), make(std::move(maker)) {
    addOutput("OUTPUT");
  }
  void calculate(int, int count, RL::Buffer& out) override {
    RL::ObjectRef frame = make(count);
    if (frame.isNil())
      throw new RL::GeneralException("source has no frame " + std::to_string(count), __FILE__,
                                     __LINE__);
    out[count] = frame;
  }

 private:
  Maker make;
};

// Reads the material as a cycle of bytes.
struct Material {
  const std::uint8_t* bytes;
  std::size_t n;
  std::uint8_t byte(std::size_t i) const { return n == 0 ? 0 : bytes[i % n]; }
  float value(std::size_t i) const {
    std::uint32_t u = 0;
    for (int b = 0; b < 4; ++b) u |= static_cast<std::uint32_t>(byte(4 * i + b)) << (8 * b);
    float v;
    std::memcpy(&v, &u, sizeof v);
    return v;
  }
};

struct Setup {
  int advance, rate, minBpm, maxBpm;
};

Setup PickSetup(std::uint8_t b) {
  // Mostly workable sets; the rest are refused at construction.
  static const Setup kSetups[16] = {
      {80, 8000, 60, 120},   {160, 16000, 60, 120}, {80, 8000, 40, 200},  {256, 16000, 60, 180},
      {512, 44100, 60, 180}, {80, 8000, 60, 120},   {128, 8000, 60, 120}, {160, 16000, 90, 100},
      {0, 8000, 60, 120},    {-80, 8000, 60, 120},  {80, 0, 60, 120},     {80, 8000, 0, 120},
      {80, 8000, 60, 1},     {1, 8000, 60, 120},    {80, 8000, 120, 60},  {80, 2147483647, 1, 2}};
  return kSetups[b & 15];
}

RL::ParameterSet Parameters(const Setup& s, float threshold, bool vectors) {
  RL::ParameterSet p;
  p.add("RELIABILITY-THRESHOLD", RL::ObjectRef(new RL::NetCType<float>(threshold)));
  p.add("ADVANCE", RL::ObjectRef(new RL::GenericType<int>(s.advance)));
  p.add("SAMPLING_RATE", RL::ObjectRef(new RL::GenericType<int>(s.rate)));
  p.add("MAX_BPM", RL::ObjectRef(new RL::GenericType<int>(s.maxBpm)));
  p.add("MIN_BPM", RL::ObjectRef(new RL::GenericType<int>(s.minBpm)));
  p.add("VECTOR_FLAG", RL::ObjectRef(new RL::Bool(vectors)));
  p.add("LOG_FLAG", RL::ObjectRef(new RL::Bool(false)));
  return p;
}

// What a frame does wrong, from its control byte (most frames nothing).
enum Fault {
  kNone,
  kAudioNarrow,
  kAudioWide,
  kAudioNoRows,
  kAudioEmpty,
  kAudioNotMatrix,
  kSpectrumNarrow,
  kSpectrumWide,
  kSpectrumNoRows,
  kSpectrumTwoRows,
  kSpectrumNotMatrix,
  kMissing,
  kAskOldFrame,
  kAskAhead,
  kAskVector,
  kFaultCount
};

Fault FaultOf(std::uint8_t control) {
  return control < 0xF0 ? kNone : static_cast<Fault>(1 + (control & 15) % (kFaultCount - 1));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The node writes its beat log into the working directory and its progress
  // on standard output.
  char dir[] = "/tmp/vesk-fuzz-node-XXXXXX";
  if (mkdtemp(dir) == nullptr || chdir(dir) != 0) std::abort();
  static NullBuffer sink;
  std::cout.rdbuf(&sink);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  static const std::size_t kWidths[8] = {2, 3, 80, 160, 255, 256, 512, 1024};
  const Setup setup = PickSetup(data[0]);
  const std::size_t width = kWidths[data[1] & 7];
  const std::size_t rows = 1 + ((data[1] >> 3) & 3);
  const bool vectors = (data[1] & 0x20) != 0;
  const int frames = 1 + data[2] * 2;
  const float threshold = static_cast<float>(data[3]) / 200.0f - 0.1f;
  const Material m{data + 4, size - 4};
  const std::size_t bins = width / 2 + 1;

  std::unique_ptr<BeatTracker> node;
  try {
    node.reset(new BeatTracker("beat", Parameters(setup, threshold, vectors)));
  } catch (RL::BaseException* e) {
    delete e;  // an absurd parameter set is refused with a message
    return 0;
  }

  // Frame t's control byte sits at the start of its share of the material.
  auto control = [&](int t) { return m.byte(static_cast<std::size_t>(t) * 7); };
  Source audio("audio", [&](int t) -> RL::ObjectRef {
    const Fault f = FaultOf(control(t));
    if (f == kMissing) return RL::ObjectRef();
    if (f == kAudioNotMatrix) return RL::ObjectRef(new RL::Vector<float>(width, 1.0f));
    const std::size_t r = f == kAudioNoRows ? 0 : rows;
    const std::size_t c = f == kAudioNarrow  ? width - 1
                          : f == kAudioWide  ? width + 1
                          : f == kAudioEmpty ? 0
                                             : width;
    auto* frame = new RL::Matrix<float>(r, c);
    for (std::size_t i = 0; i < r; ++i)
      for (std::size_t j = 0; j < c; ++j)
        (*frame)(i, j) = m.value(static_cast<std::size_t>(t) * 3 + i * c + j);
    return RL::ObjectRef(frame);
  });
  Source spectrum("spectrum", [&](int t) -> RL::ObjectRef {
    const Fault f = FaultOf(control(t));
    if (f == kSpectrumNotMatrix) return RL::ObjectRef(new RL::NetCType<float>(1.0f));
    const std::size_t r = f == kSpectrumNoRows ? 0 : f == kSpectrumTwoRows ? 2 : 1;
    const std::size_t c = f == kSpectrumNarrow ? bins - 1 : f == kSpectrumWide ? bins + 1 : bins;
    auto* frame = new RL::Matrix<std::complex<float>>(r, c);
    for (std::size_t i = 0; i < r; ++i)
      for (std::size_t j = 0; j < c; ++j) {
        const std::size_t k = static_cast<std::size_t>(t) * 5 + 2 * (i * c + j);
        // Every 50th frame a loud click, so that beats are found and reported.
        const float click = t % 50 == 0 ? 100.0f : 0.0f;
        (*frame)(i, j) = {m.value(k) + click, m.value(k + 1)};
      }
    return RL::ObjectRef(frame);
  });
  node->connectToNode("AUDIO", &audio, "OUTPUT");
  node->connectToNode("FFTAUDIO", &spectrum, "OUTPUT");
  audio.request(0, 0, 4);
  spectrum.request(0, 0, 4);
  audio.initialize();
  spectrum.initialize();
  node->initialize();

  static const char* kVectorOutputs[3] = {"ONSET_VECTOR", "STPM_VECTOR", "CHROMA_VECTOR"};
  int errors = 0;
  for (int t = 0; t < frames && errors < 8; ++t) {
    const Fault f = FaultOf(control(t));
    try {
      if (f == kAskOldFrame) {
        node->getOutputNamed("CONFIDENCE", t > 10 ? t - 10 : 0);
      } else if (f == kAskAhead) {
        node->getOutputNamed("TEMPO", t + 3);
      } else if (f == kAskVector) {
        node->getOutputNamed(kVectorOutputs[t % 3], t);
      } else {
        RL::ObjectRef beat = node->getOutputNamed("BEAT_DETECTED", t);
        RL::ObjectRef tempo = node->getOutputNamed("TEMPO", t);
        const float bpm = RL::dereference_cast<float>(tempo);
        const bool detected = RL::dereference_cast<bool>(beat);
        // A tempo is reported only on a detected beat, and it is a tempo.
        if (bpm != 0.0f && (!detected || !(bpm > 0.0f))) {
          std::fprintf(stderr, "frame %d: tempo %g with beat %d\n", t, bpm, detected);
          std::abort();
        }
        const float confidence = RL::dereference_cast<float>(node->getOutputNamed("CONFIDENCE", t));
        if (!(confidence >= 0.0f && confidence <= 1.0f)) {
          std::fprintf(stderr, "frame %d: confidence %g\n", t, confidence);
          std::abort();
        }
      }
    } catch (RL::BaseException* e) {
      ++errors;
      if (e->message().empty()) std::abort();  // every refusal says why
      delete e;
    }
  }
  return 0;
}
