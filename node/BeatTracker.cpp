#include "node/BeatTracker.h"

#include <cerrno>
#include <cstdint>
#include <iostream>
#include <locale>
#include <sstream>

#include "beat_tracker/BeatTracker.h"
#include "common/OpenErrorText.h"
#include "common/VectorKernels.h"
#include "node/BeatQueue.h"
#include "node/FileNames.h"
#include "node/FrameUpdate.h"
#include "node/ParameterCheck.h"
#include "node/host/Conversion.h"
#include "node/host/Exception.h"
#include "node/host/GenericType.h"
#include "node/host/Vector.h"
#include "voice_cancel/VoiceCancel.h"

namespace {
// The widest first frame the node accepts: its engine's history then holds
// about 0.8 GB of spectra.
constexpr std::size_t kWidestFrame = 65536;
}  // namespace

BeatTracker::BeatTracker(std::string nodeName, RL::ParameterSet params)
    : RL::BufferedNode(std::move(nodeName), params),
      console(parameters.hostContext().console ? parameters.hostContext().console : &std::cout) {
  *console << "BeatTracker::BeatTracker" << std::endl;

  audioInputID = addInput("AUDIO");
  fftAudioInputID = addInput("FFTAUDIO");

  beatDetectedOutputID = addOutput("BEAT_DETECTED");
  tempoOutputID = addOutput("TEMPO");
  confidenceOutputID = addOutput("CONFIDENCE");
  onsetVectorOutputID = addOutput("ONSET_VECTOR");
  stpmVectorOutputID = addOutput("STPM_VECTOR");
  chromaVectorOutputID = addOutput("CHROMA_VECTOR");

  reliabilityThreshold = RL::dereference_cast<float>(parameters.get("RELIABILITY-THRESHOLD"));
  advance = RL::dereference_cast<int>(parameters.get("ADVANCE"));
  samplingRate = RL::dereference_cast<int>(parameters.get("SAMPLING_RATE"));
  maxBpm = RL::dereference_cast<int>(parameters.get("MAX_BPM"));
  minBpm = RL::dereference_cast<int>(parameters.get("MIN_BPM"));
  vectorFlag = RL::dereference_cast<bool>(parameters.get("VECTOR_FLAG"));
  logFlag = RL::dereference_cast<bool>(parameters.get("LOG_FLAG"));

  // The start-up formulas divide by these values and the engine's histories
  // bound the intervals: refuse a parameter set they cannot work with now,
  // rather than at the first frame.
  std::string problem = CheckReliabilityThreshold(reliabilityThreshold);
  if (problem.empty()) problem = CheckNodeParameters(samplingRate, advance, minBpm, maxBpm);
  if (!problem.empty()) throw new RL::NodeException(this, problem, "BeatTracker", __LINE__);

  inOrder = true;
  lastQueuedBeat = 0;
  beatLog.imbue(std::locale::classic());
  const std::string& folder = parameters.hostContext().folder;
  beatLog.open(FolderFile(folder, "bt_quendabt.dat"), std::ios::out | std::ios::trunc);
  // The node works on without its beat log; say so once rather than dropping
  // the lines in silence.
  if (!beatLog.is_open()) {
    const int error = errno;
    std::cerr << "BeatTracker: cannot create the beat log bt_quendabt.dat in "
              << (folder.empty() ? std::string("the working directory") : "'" + folder + "'")
              << " (" << vesk_common::OpenErrorText(error) << "); reliable beats are not logged"
              << std::endl;
  }
}

BeatTracker::~BeatTracker() {
  *console << "BeatTracker::~BeatTracker" << std::endl;
  delete beatState;
  beatState = nullptr;
  delete beatTracker;
  beatTracker = nullptr;
  beatLog.close();
}

void BeatTracker::initialize() {
  int ahead = 0;
  int behind = 0;
  for (const RL::OutputCacheInfo& info : outputs) {
    if (info.lookAhead > ahead) ahead = info.lookAhead;
    if (info.lookBack > behind) behind = info.lookBack;
  }
  for (RL::OutputCacheInfo& info : outputs) {
    info.lookAhead = ahead + 1;
    info.lookBack = behind + 1;
  }
  RL::BufferedNode::initialize();
}

RL::ObjectRef BeatTracker::getOutput(int output, int count) {
  try {
    if (!hasOutput(output))
      throw new RL::NodeException(this, "unknown output number " + std::to_string(output),
                                  "BeatTracker", __LINE__);
    if (!outputs[output].buffer)
      throw new RL::NodeException(this, "output read before initialize()", "BeatTracker", __LINE__);
    RL::Buffer& out = *outputs[output].buffer;
    // Each frame counts as computed as soon as it is, so a failure later in
    // the request never makes the engine analyse a frame twice. So does a
    // refused frame the engine heard as silence; the request still stops
    // there, so that the host learns which frame was bad.
    for (int i = processCount + 1; i <= count; ++i) {
      try {
        calculate(output, i, out);
      } catch (RL::BaseException*) {
        if (silencedFrame == i) markComputed(i);
        throw;
      }
      markComputed(i);
    }
    return out.get(count);
  } catch (RL::BaseException* e) {
    throw e->add(new RL::NodeException(this, "Exception caught in BufferedNode::getOutput",
                                       "BeatTracker", __LINE__));
  }
}

void BeatTracker::checkFrames(int count, const RL::Matrix<float>& audio,
                              const RL::Matrix<std::complex<float>>& spectrum) const {
  const std::size_t width = count == 0 ? audio.ncols() : fftLength;
  auto fail = [&](const std::string& what) {
    std::ostringstream m;
    m << what << " at frame " << count;
    throw new RL::NodeException(this, m.str(), "BeatTracker", __LINE__);
  };
  // The checks pass on every frame of a sound network: each message is
  // formatted only when its check fails.
  if (audio.nrows() < 1) fail("input AUDIO has no rows (at least one channel expected)");
  if (count == 0) {
    if (audio.ncols() < 2) {
      std::ostringstream m;
      m << "input AUDIO has " << audio.ncols() << " columns, at least 2 expected";
      fail(m.str());
    }
    if (audio.ncols() > kWidestFrame) {
      // The engine keeps 3000 spectra of N/2 doubles: a frame this wide would
      // take more memory than a beat tracker should ask for.
      std::ostringstream m;
      m << "input AUDIO has " << audio.ncols() << " columns, at most " << kWidestFrame
        << " expected (the tracker keeps 3000 spectra of N/2 values: "
        << 3000.0 * (audio.ncols() / 2) * sizeof(double) / 1e9 << " GB at this width)";
      fail(m.str());
    }
    if (static_cast<std::size_t>(advance) > audio.ncols()) {
      std::ostringstream m;
      m << "input AUDIO has " << audio.ncols() << " columns, fewer than ADVANCE = " << advance
        << " (a frame must hold at least the new samples)";
      fail(m.str());
    }
  } else if (audio.ncols() != width) {
    std::ostringstream m;
    m << "input AUDIO has " << audio.ncols() << " columns, " << width
      << " expected (the width of frame 0)";
    fail(m.str());
  }
  const std::size_t bins = width / 2 + 1;
  if (spectrum.nrows() < 1 || spectrum.ncols() != bins) {
    std::ostringstream m;
    m << "input FFTAUDIO has " << spectrum.nrows() << " rows of " << spectrum.ncols()
      << " columns, at least one row of exactly " << bins
      << " columns expected (N/2 + 1 for N = " << width << ")";
    fail(m.str());
  }
}

void BeatTracker::calculate(int output, int count, RL::Buffer& out) {
  // A source's own error leaves as it is: the frame never came, and may on a
  // later request.
  RL::ObjectRef audioFrame = getInput(audioInputID, count);
  RL::ObjectRef spectrumFrame = getInput(fftAudioInputID, count);
  RL::RCPtr<RL::Matrix<float>> audio;
  RL::RCPtr<RL::Matrix<std::complex<float>>> spectrum;
  try {
    audio = RL::Conversion::convertTo<RL::Matrix<float>>(audioFrame);
    spectrum = RL::Conversion::convertTo<RL::Matrix<std::complex<float>>>(spectrumFrame);
    checkFrames(count, *audio, *spectrum);
  } catch (RL::BaseException*) {
    // Before frame 0 there is no engine to keep in step.
    if (count > 0) standInSilence(count);
    throw;
  }

  if (count == 0) {
    count0Initialize(output, out);
    update_signal(*signalBuffer, *audio, static_cast<int>(signalBuffer->size()));
  } else {
    update_signal(*signalBuffer, *audio, advance);
  }
  analyse(count, *spectrum, true);
}

void BeatTracker::standInSilence(int count) {
  // Allocated once, and again only when a restart changed the width.
  if (!silentAudio || silentAudio->ncols() != fftLength) {
    silentAudio = new RL::Matrix<float>(1, fftLength, 0.0f);
    silentSpectrum = new RL::Matrix<std::complex<float>>(1, fftLength / 2 + 1);
  }
  update_signal(*signalBuffer, *silentAudio, advance);
  analyse(count, *silentSpectrum, false);
  silencedFrame = count;
}

void BeatTracker::analyse(int count, RL::Matrix<std::complex<float>>& spectrum, bool heard) {
  update_fftsignal(*fftSignal, spectrum, static_cast<int>(spectrum.ncols()));
  if (!skipSpectrumUpdate)
    vesk_kernels::Magnitudes(fftSignal->data(), fftLength / 2, amplitudeSpectrum->data());

  lastBeatData = beatTracker->analyze(*amplitudeSpectrum);

  QueueComingBeat(beatQueue, lastQueuedBeat, lastBeatData.now_interval, lastBeatData.beat_time);

  const int t = static_cast<int>(lastBeatData.t_current);
  // A beat falling due on silence that stands in for a refused frame is
  // dropped, not reported late on the next frame.
  const bool beat = TakeDueBeat(beatQueue, t) && heard;
  double tempo = 0.0;
  if (beat) {
    const double reliability = lastBeatData.reliability;
    if (reliability >= static_cast<double>(reliabilityThreshold)) {
      *console << "Beat detected at time: " << t << std::endl;
      const double intervalSec =
          IntervalSeconds(static_cast<int>(lastBeatData.now_interval), rtAdvance, rtSamplingRate);
      tempo = 60.0 / intervalSec;
      const double beatTimeSec =
          static_cast<double>(static_cast<int>(lastBeatData.next_beat_time) * rtAdvance) /
          rtSamplingRate;
      {
        boost::mutex::scoped_lock lock(beatState->mutex);
        beatState->beatTimeSec = beatTimeSec;
        beatState->beatIntervalSec = intervalSec;
        beatState->beatReliability = reliability;
        beatState->beatCondition.notify_all();
      }
      *console << "Rely!!! : " << reliability << " tempo: " << tempo << std::endl;
      WriteBeatLogLine(beatLog, tempo, t, reliability);
    } else {
      *console << "Discard : " << reliability << std::endl;
    }
  }
  storeOutputs(count, beat, tempo);
}

void BeatTracker::storeOutputs(int count, bool beat, double tempo) {
  (*outputs[beatDetectedOutputID].buffer)[count] = beat ? RL::TrueObject : RL::FalseObject;

  RL::NetCType<float>* confidence = RL::ObjectPool<RL::NetCType<float>>::alloc();
  confidence->setValue(static_cast<float>(lastBeatData.reliability));
  (*outputs[confidenceOutputID].buffer)[count] = RL::ObjectRef(confidence);

  RL::NetCType<float>* tempoValue = RL::ObjectPool<RL::NetCType<float>>::alloc();
  tempoValue->setValue(beat ? static_cast<float>(tempo) : 0.0f);
  (*outputs[tempoOutputID].buffer)[count] = RL::ObjectRef(tempoValue);

  if (!vectorFlag) return;
  auto toVector = [](const std::vector<double>& values, std::size_t size) {
    RL::Vector<float>* v = RL::floatVectorPool.newVector(0);
    v->resize(size, 0.0f);
    for (std::size_t i = 0; i < size && i < values.size(); ++i)
      (*v)[i] = static_cast<float>(values[i]);
    return RL::ObjectRef(v);
  };
  (*outputs[onsetVectorOutputID].buffer)[count] = toVector(lastBeatData.onset_vector, 64);
  (*outputs[stpmVectorOutputID].buffer)[count] =
      toVector(lastBeatData.stpm_vector, lastBeatData.stpm_vector.size());
  (*outputs[chromaVectorOutputID].buffer)[count] = toVector(lastBeatData.chroma_vector, 12);
}
