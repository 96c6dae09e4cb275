#ifndef VESK_TESTS_NODE_NODEHARNESS_H
#define VESK_TESTS_NODE_NODEHARNESS_H

// A small host for driving the BeatTracker node the way a framework does:
// source nodes deliver prepared "AUDIO" and "FFTAUDIO" frames, the node pulls
// them through getOutput.

#include <complex>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "node/BeatTracker.h"
#include "node/host/Rill.h"
#include "tests/support/FrameworkError.h"

namespace node_test {

// Delivers the frame that `make` builds for each count on output "OUTPUT",
// normally an RL::Matrix<T>. `make` may return null to make the frame fail
// with a framework error.
template <class T>
class FrameSource : public RL::BufferedNode {
 public:
  using Maker = std::function<RL::Object*(int)>;
  FrameSource(std::string name, Maker maker)
      : RL::BufferedNode(std::move(name), RL::ParameterSet()), make(std::move(maker)) {
    addOutput("OUTPUT");
  }
  void calculate(int, int count, RL::Buffer& out) override {
    ++pulls[count];
    RL::Object* frame = make(count);
    if (!frame)
      throw new RL::GeneralException("source has no frame " + std::to_string(count), __FILE__,
                                     __LINE__);
    out[count] = RL::ObjectRef(frame);
  }
  Maker make;
  std::map<int, int> pulls;
};

inline RL::ParameterSet Parameters(float threshold, int advance, int rate, int maxBpm, int minBpm,
                                   bool vectors, bool log) {
  RL::ParameterSet p;
  p.add("RELIABILITY-THRESHOLD", RL::ObjectRef(new RL::NetCType<float>(threshold)));
  p.add("ADVANCE", RL::ObjectRef(new RL::GenericType<int>(advance)));
  p.add("SAMPLING_RATE", RL::ObjectRef(new RL::GenericType<int>(rate)));
  p.add("MAX_BPM", RL::ObjectRef(new RL::GenericType<int>(maxBpm)));
  p.add("MIN_BPM", RL::ObjectRef(new RL::GenericType<int>(minBpm)));
  p.add("VECTOR_FLAG", RL::ObjectRef(new RL::Bool(vectors)));
  p.add("LOG_FLAG", RL::ObjectRef(new RL::Bool(log)));
  return p;
}

// Runs every test of a fixture in a fresh temporary directory, because the
// node writes its beat log into the working directory.
class InTempDir {
 public:
  InTempDir() {
    char tmpl[] = "/tmp/vesk-node-XXXXXX";
    dir = mkdtemp(tmpl);
    char cwd[4096];
    previous = getcwd(cwd, sizeof cwd) ? cwd : "/";
    if (chdir(dir.c_str()) != 0) std::abort();
  }
  ~InTempDir() {
    if (chdir(previous.c_str()) != 0) std::abort();
    std::string command = "rm -rf '" + dir + "'";
    if (std::system(command.c_str()) != 0) std::cerr << "could not remove " << dir << "\n";
  }
  std::string dir;

 private:
  std::string previous;
};

// Captures std::cout while alive.
class CoutCapture {
 public:
  CoutCapture() : old(std::cout.rdbuf(text.rdbuf())) {}
  ~CoutCapture() { std::cout.rdbuf(old); }
  std::string str() const { return text.str(); }

 private:
  std::ostringstream text;
  std::streambuf* old;
};

// Owns a node and its two sources; `audio(count)` and `spectrum(count)`
// build the frames.
struct Network {
  Network(RL::ParameterSet params, FrameSource<float>::Maker audioFrames,
          FrameSource<std::complex<float>>::Maker spectrumFrames)
      : audio("audio", std::move(audioFrames)),
        spectrum("spectrum", std::move(spectrumFrames)),
        node(new BeatTracker("beat", std::move(params))) {
    node->connectToNode("AUDIO", &audio, "OUTPUT");
    node->connectToNode("FFTAUDIO", &spectrum, "OUTPUT");
    audio.request(0, 0, 4);
    spectrum.request(0, 0, 4);
    audio.initialize();
    spectrum.initialize();
    node->initialize();
  }
  float scalar(const char* output, int count) {
    return RL::dereference_cast<float>(node->getOutputNamed(output, count));
  }
  bool beat(int count) {
    return RL::dereference_cast<bool>(node->getOutputNamed("BEAT_DETECTED", count));
  }

  FrameSource<float> audio;
  FrameSource<std::complex<float>> spectrum;
  std::unique_ptr<BeatTracker> node;
};

// Frames of a constant signal: every sample of every row is `value`.
inline FrameSource<float>::Maker ConstantAudio(std::size_t rows, std::size_t n, float value) {
  return [=](int) { return new RL::Matrix<float>(rows, n, value); };
}
inline FrameSource<std::complex<float>>::Maker ConstantSpectrum(std::size_t bins,
                                                                std::complex<float> value) {
  return [=](int) { return new RL::Matrix<std::complex<float>>(1, bins, value); };
}

using test_support::ErrorOf;

}  // namespace node_test

#endif
