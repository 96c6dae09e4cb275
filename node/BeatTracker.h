#ifndef VESK_NODE_BEATTRACKER_H
#define VESK_NODE_BEATTRACKER_H

#include <complex>
#include <cstddef>
#include <fstream>
#include <list>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <boost/asio/io_service.hpp>
#include <boost/asio/ip/udp.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/system/error_code.hpp>

#include "beat_tracker/BeatTrackerData.h"
#include "common/FftComplex.h"
#include "node/RealTimeBeatTrackerInit.h"
#include "node/SharedBeatState.h"
#include "node/host/BufferedNode.h"
#include "node/host/Matrix.h"

namespace beat_tracker {
class BeatTracker;
}
class VoiceCancel;

// The beat-tracking node. Inputs "AUDIO" (time window, one row per channel)
// and "FFTAUDIO" (its complex spectrum); outputs "BEAT_DETECTED", "TEMPO",
// "CONFIDENCE" and, with VECTOR_FLAG, the onset, pattern-matching and chroma
// vectors. Frames are computed once each, in order, whichever output asks.
//
// Drive a node from one thread: getOutput takes no lock, and two threads
// calling it at once corrupt its buffers (use after free). Other threads may
// wait on the beat notice. The beat log "bt_quendabt.dat" is created when the
// node is built, in the folder of the parameter set's host context (the engine
// puts its diagnostic files there too), else in the current directory; its
// console lines go to the context's stream, else to standard output. Two nodes
// given the same folder write the same file, interleaved.
class BeatTracker : public RL::BufferedNode {
 public:
  BeatTracker(std::string nodeName, RL::ParameterSet params);
  ~BeatTracker() override;

  void initialize() override;
  // Computes the missing frames up to `count`, in order. A frame whose inputs
  // are refused (wrong size, not a matrix) ends the request with the refusal;
  // later frames wait for the next request. After frame 0 the engine hears
  // silence in the frame's place, to stay in step with the frame numbers, and
  // the frame counts as computed, with no beat. A refused frame 0 starts no
  // engine (its width sizes the engine), so every request is refused there
  // again. A source node's own error leaves the frame to be retried.
  RL::ObjectRef getOutput(int output, int count) override;
  void calculate(int output, int count, RL::Buffer& out) override;

  // Start-up at frame 0: gathers the start-up record, creates the beat notice
  // and the robot endpoint, then starts the engine.
  void count0Initialize(int output, RL::Buffer& out);
  void realTimeBeatTrackerInitialize(const RealTimeBeatTrackerInit& init);

  // Read access for applications and tests.
  const beat_tracker::BeatTracker* engine() const { return beatTracker; }
  SharedBeatState* beatNotice() const { return beatState; }
  const beat_tracker::BeatTrackerData& lastResult() const { return lastBeatData; }
  const std::list<int>& queuedBeats() const { return beatQueue; }
  const std::vector<double>& timeSignal() const { return *signalBuffer; }
  const std::vector<double>& magnitudeSpectrum() const { return *amplitudeSpectrum; }
  const std::vector<FftComplex>& complexSpectrum() const { return *fftSignal; }
  const boost::shared_ptr<VoiceCancel>& canceller() const { return voiceCancel; }
  const std::string& robotHost() const { return robotAddress; }
  int robotUdpPort() const { return robotPort; }

 private:
  // Throws NodeException when a frame does not have the size start-up fixed.
  void checkFrames(int count, const RL::Matrix<float>& audio,
                   const RL::Matrix<std::complex<float>>& spectrum) const;
  // Runs the engine on the frame's spectrum (the signal is already updated)
  // and stores the outputs; a beat falling due is reported only when `heard`.
  void analyse(int count, RL::Matrix<std::complex<float>>& spectrum, bool heard);
  // Gives the engine a silent frame in place of refused frame `count`.
  void standInSilence(int count);
  void storeOutputs(int count, bool beat, double tempo);

  int audioInputID;
  int fftAudioInputID;
  int beatDetectedOutputID;
  int tempoOutputID;
  int confidenceOutputID;
  int onsetVectorOutputID;
  int stpmVectorOutputID;
  int chromaVectorOutputID;
  float reliabilityThreshold;
  int advance;
  int samplingRate;
  int maxBpm;
  int minBpm;
  bool vectorFlag;
  bool logFlag;
  boost::shared_ptr<std::vector<double>> signalBuffer;
  boost::shared_ptr<std::vector<double>> amplitudeSpectrum;
  boost::shared_ptr<std::vector<FftComplex>> fftSignal;
  boost::shared_ptr<VoiceCancel> voiceCancel;
  beat_tracker::BeatTrackerData lastBeatData;
  std::list<int> beatQueue;
  int lastQueuedBeat = 0;
  double rtSamplingRate = 0.0;
  std::size_t fftLength = 0;
  std::size_t rtAdvance = 0;
  bool skipSpectrumUpdate = false;
  std::string logPath;
  // Made at the first refused frame, frame 0's width, one channel.
  RL::RCPtr<RL::Matrix<float>> silentAudio;
  RL::RCPtr<RL::Matrix<std::complex<float>>> silentSpectrum;
  int silencedFrame = -1;  // the last refused frame the engine heard as silence
  beat_tracker::BeatTracker* beatTracker = nullptr;
  SharedBeatState* beatState = nullptr;
  boost::asio::io_service ioService;
  std::string robotAddress;
  int robotPort = 0;
  // Made on ioService when a datagram is to be sent; the node sends none. A
  // socket object, even unopened, starts the service's event loop: three
  // descriptors per node for nothing.
  std::optional<boost::asio::ip::udp::socket> robotSocket;
  boost::system::error_code socketError;
  std::ostream* console = nullptr;  // the host's sink for the node's lines, or std::cout
  std::ofstream beatLog;
};

#endif
