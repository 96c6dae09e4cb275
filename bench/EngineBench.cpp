// Benchmarks of the beat-tracking engine, stage by stage and as a whole, at the
// tool's defaults: 16 kHz, 512-sample frames, hop 160 (100 frames a second of
// audio), intervals 31 ... 74 frames (80 ... 200 BPM).
//
// Each benchmark reports frames/s and "realtime", the seconds of audio analysed
// per second (frames/s divided by 100).
#include <benchmark/benchmark.h>

#include <iostream>
#include <memory>
#include <streambuf>

#include "SyntheticSpectra.h"
#include "beat_tracker/BeatTracker.h"

namespace {

constexpr double kFramesPerSecond = 100.0;
constexpr int kFrames = 3000;

// The engines' console lines: a stream that fails every write.
std::ostream discard(nullptr);

const std::vector<std::vector<double>>& Spectra() {
  static const auto spectra = bench::SyntheticSpectra(kFrames);
  return spectra;
}

// An engine that has analysed `warm` frames, so its histories hold music.
std::unique_ptr<beat_tracker::BeatTracker> WarmEngine(bool reference, int warm = 1000) {
  beat_tracker::BeatTrackerInit init;
  init.sampling_rate = 16000.0;
  init.fft_length = 512;
  init.advance = 160;
  init.min_interval = 31;   // ceil(6000 / (200 - 1))
  init.window_length = 75;  // 6000 / 80
  init.log_flag = false;
  init.console = &discard;
  auto engine = std::make_unique<beat_tracker::BeatTracker>(init);
  engine->use_reference_stages = reference;
  for (int f = 0; f < warm; ++f) engine->analyze(Spectra()[f % kFrames]);
  return engine;
}

void Report(benchmark::State& state) {
  const double frames = static_cast<double>(state.iterations());
  state.counters["frames/s"] = benchmark::Counter(frames, benchmark::Counter::kIsRate);
  state.counters["realtime"] =
      benchmark::Counter(frames / kFramesPerSecond, benchmark::Counter::kIsRate);
}

void BM_MelFilter(benchmark::State& state) {
  auto engine = WarmEngine(state.range(0) != 0, 10);
  int f = 0;
  for (auto _ : state) {
    engine->spectrum_buffer.push(Spectra()[f++ % kFrames]);
    benchmark::DoNotOptimize(engine->MelFilter(engine->spectrum_buffer));
  }
  Report(state);
}
BENCHMARK(BM_MelFilter)->ArgName("reference")->Arg(0)->Arg(1);

void BM_Chroma(benchmark::State& state) {
  auto engine = WarmEngine(false, 10);
  int f = 0;
  for (auto _ : state) {
    engine->spectrum_buffer.push(Spectra()[f++ % kFrames]);
    benchmark::DoNotOptimize(engine->MakeChromaVec(engine->spectrum_buffer));
  }
  Report(state);
}
BENCHMARK(BM_Chroma);

void BM_OnsetFilter(benchmark::State& state) {
  auto engine = WarmEngine(false);
  int kernel[3][3] = {{-1, 0, 1}, {-2, 0, 2}, {-1, 0, 1}};
  int f = 0;
  for (auto _ : state) {
    engine->mel_buffer.push(engine->mel_buffer.back(1 + f++ % 50));
    benchmark::DoNotOptimize(engine->Filter3x3(engine->mel_buffer, kernel));
  }
  Report(state);
}
BENCHMARK(BM_OnsetFilter);

// One new onset row per iteration, as analyze pushes it: the fast stage works
// incrementally, the reference recomputes every product. Modes: 0 the frame
// loop's (the history followed push by push), 1 a call of STPattanMatching
// (the whole history compared with the kept copy first), 2 the reference.
void BM_PatternMatching(benchmark::State& state) {
  const int mode = static_cast<int>(state.range(0));
  auto engine = WarmEngine(mode == 2);
  beat_tracker::PatternMatchingCache cache;
  beat_tracker::PatternMatchingCache::Config config;
  config.min_interval = engine->min_interval;
  config.max_interval = engine->max_interval;
  config.window = engine->window_length;
  config.band_begin = engine->onset_band_begin;
  config.band_end = engine->onset_band_end;
  std::vector<double> out;
  int f = 0;
  for (auto _ : state) {
    // A row of the warm history, 200 ... 299 frames back: a fresh row each time.
    const std::vector<double> row = engine->onset_buffer.back(200 + f++ % 100);
    engine->onset_buffer.push(row);
    if (mode == 0) {
      cache.Compute(config, engine->onset_buffer, out,
                    beat_tracker::PatternMatchingCache::History::kFollowPushes);
      benchmark::DoNotOptimize(out.data());
    } else {
      benchmark::DoNotOptimize(engine->STPattanMatching(engine->onset_buffer));
    }
  }
  Report(state);
}
BENCHMARK(BM_PatternMatching)->ArgName("mode")->Arg(0)->Arg(1)->Arg(2);

void BM_IntervalSelection(benchmark::State& state) {
  auto engine = WarmEngine(false);
  const std::vector<double> stpm = engine->STPattanMatching(engine->onset_buffer);
  for (auto _ : state) {
    benchmark::DoNotOptimize(engine->SelectInterval(stpm));
    engine->interval_buffer.push(engine->interval_buffer.back(0));
    benchmark::DoNotOptimize(engine->UpdateReliability());
  }
  Report(state);
}
BENCHMARK(BM_IntervalSelection);

void BM_BeatScore(benchmark::State& state) {
  auto engine = WarmEngine(false);
  int f = 0;
  for (auto _ : state) {
    const std::vector<double>& onset = engine->onset_buffer.back(f++ % 100);
    benchmark::DoNotOptimize(engine->UpdateBeatScores(onset));
  }
  Report(state);
}
BENCHMARK(BM_BeatScore);

// Phase estimation with its gate forced open on every frame (normally it runs
// about once per beat), then the advance to the frame's beat time.
void BM_Phase(benchmark::State& state) {
  auto engine = WarmEngine(false);
  const int anchor = engine->next_beat_time;
  for (auto _ : state) {
    engine->next_beat_time = 1;  // far behind: the gate opens
    engine->EstimatePhase(3);
    benchmark::DoNotOptimize(engine->AdvanceBeatTime());
  }
  engine->next_beat_time = anchor;
  Report(state);
}
BENCHMARK(BM_Phase);

void BM_Analyze(benchmark::State& state) {
  auto engine = WarmEngine(state.range(0) != 0);
  int f = 0;
  for (auto _ : state) benchmark::DoNotOptimize(engine->analyze(Spectra()[f++ % kFrames]));
  Report(state);
}
BENCHMARK(BM_Analyze)->ArgName("reference")->Arg(0)->Arg(1);

}  // namespace

BENCHMARK_MAIN();
