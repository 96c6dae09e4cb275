// Start-up of the node's engine, run when frame 0 is computed: the engine's
// sizes depend on the width of the first "AUDIO" frame.
#include <cmath>
#include <iostream>

#include "beat_tracker/BeatTracker.h"
#include "node/BeatTracker.h"
#include "node/FileNames.h"
#include "node/ParameterCheck.h"
#include "node/RobotEndpoint.h"
#include "node/host/Conversion.h"
#include "voice_cancel/VoiceCancel.h"

void BeatTracker::count0Initialize(int, RL::Buffer&) {
  *console << "BeatTracker::count0Initialize" << std::endl;

  RL::RCPtr<RL::Matrix<float>> audio =
      RL::Conversion::convertTo<RL::Matrix<float>>(getInput(audioInputID, 0));

  const IntervalRange range = DeriveIntervalRange(samplingRate, advance, minBpm, maxBpm);
  RealTimeBeatTrackerInit init;
  init.mode = 0;
  init.sampling_rate = static_cast<double>(samplingRate);
  init.fft_length = audio->ncols();
  init.advance = static_cast<std::size_t>(static_cast<long long>(advance));
  init.mel_band_num = 64;
  init.onset_band_begin = 1;
  init.onset_band_end = 63;
  init.max_interval = range.max_interval;
  init.min_interval = range.min_interval;
  init.window_length = range.window_length;
  init.log_flag = logFlag;
  init.skip_spectrum_update = false;
  // The diagnostic files go where the beat log went.
  init.log_path = FolderPrefix(parameters.hostContext().folder);

  // Start-up can run again only after the node was reset; the previous notice,
  // engine and queued beats belong to the old run.
  if (beatState || beatTracker) {
    beatQueue.clear();
    lastQueuedBeat = 0;
    silencedFrame = -1;
  }
  SharedBeatState* state = new SharedBeatState(samplingRate);
  delete beatState;
  beatState = state;

  robotAddress = robot_endpoint::kAddress;
  robotPort = robot_endpoint::kPort;
  *console << "ROBOT  IP : " << robotAddress << ":" << robotPort << std::endl;

  realTimeBeatTrackerInitialize(init);
}

void BeatTracker::realTimeBeatTrackerInitialize(const RealTimeBeatTrackerInit& init) {
  *console << "BeatTracker::realTimeBeatTrackerInitialize" << std::endl;

  rtSamplingRate = init.sampling_rate;
  fftLength = init.fft_length;
  rtAdvance = init.advance;
  skipSpectrumUpdate = init.skip_spectrum_update;
  logPath = init.log_path;

  beat_tracker::BeatTrackerInit config;
  config.sampling_rate = init.sampling_rate;
  config.fft_length = init.fft_length;
  config.advance = init.advance;
  config.max_interval = init.max_interval;
  config.min_interval = init.min_interval;
  config.window_length = init.window_length;
  config.log_flag = init.log_flag;
  config.log_path = init.log_path;
  config.console = console;

  auto* engine = new beat_tracker::BeatTracker(config);
  delete beatTracker;
  beatTracker = engine;

  const std::size_t n = init.fft_length;
  signalBuffer.reset(new std::vector<double>(n, 0.0));
  amplitudeSpectrum.reset(new std::vector<double>(n / 2, 0.0));
  voiceCancel.reset(new VoiceCancel(n));
  fftSignal.reset(new std::vector<FftComplex>(n / 2 + 1, FftComplex(0.0, 0.0)));
}
