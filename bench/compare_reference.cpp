// Runs two engines on the same spectra of each input file, one with the fast
// stages and one forced to the reference stages, and compares every frame's
// interval, reliability, beat times, beat flag and tempo (the flag and tempo
// decided as the node decides them). Exit status 0 when every frame agrees.
//
// Usage: compare-reference [--bpm MIN MAX] [--threshold T] FILE...
//        (any file libsndfile reads; by default the tool's 80 ... 200 BPM, 0.4)
#include <fftw3.h>
#include <sndfile.h>
#include <soxr.h>

#include <cmath>
#include <cstring>
#include <iostream>
#include <list>
#include <memory>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "beat_tracker/BeatTracker.h"
#include "node/BeatQueue.h"
#include "node/ParameterCheck.h"

namespace {

// The tool's defaults: 16 kHz, 512-sample Hann frames every 160 samples,
// 80 ... 200 BPM (intervals 31 ... 74 frames), reliability threshold 0.4.
constexpr int kRate = 16000;
constexpr int kFrame = 512;
constexpr int kHop = 160;

struct Settings {
  int min_bpm = 80;
  int max_bpm = 200;
  double threshold = 0.4;
};

// The engines' console lines: a stream that fails every write.
std::ostream discard(nullptr);

bool ReadMono16k(const std::string& path, std::vector<float>& out, std::string& error) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (!file) {
    error = sf_strerror(nullptr);
    return false;
  }
  std::vector<float> interleaved(static_cast<std::size_t>(info.frames) * info.channels);
  const sf_count_t got = sf_readf_float(file, interleaved.data(), info.frames);
  sf_close(file);
  std::vector<float> mono(static_cast<std::size_t>(got));
  for (sf_count_t i = 0; i < got; ++i) {
    double sum = 0.0;
    for (int c = 0; c < info.channels; ++c) sum += interleaved[i * info.channels + c];
    mono[i] = static_cast<float>(sum / info.channels);
  }
  if (info.samplerate == kRate) {
    out = std::move(mono);
    return true;
  }
  const double ratio = static_cast<double>(kRate) / info.samplerate;
  out.assign(static_cast<std::size_t>(mono.size() * ratio) + 64, 0.0f);
  std::size_t made = 0;
  const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
  soxr_error_t rc = soxr_oneshot(info.samplerate, kRate, 1, mono.data(), mono.size(), nullptr,
                                 out.data(), out.size(), &made, nullptr, &quality, nullptr);
  if (rc) {
    error = rc;
    return false;
  }
  out.resize(made);
  return true;
}

struct Frame {
  double interval, reliability, beat_time, next_beat_time, tempo;
  bool beat;
  std::vector<double> stpm;
};

class Tracker {
 public:
  Tracker(bool reference, const Settings& settings) : threshold(settings.threshold) {
    const IntervalRange range =
        DeriveIntervalRange(kRate, kHop, settings.min_bpm, settings.max_bpm);
    beat_tracker::BeatTrackerInit init;
    init.sampling_rate = kRate;
    init.fft_length = kFrame;
    init.advance = kHop;
    init.min_interval = range.min_interval;
    init.window_length = range.window_length;
    init.log_flag = false;
    init.console = &discard;
    engine = std::make_unique<beat_tracker::BeatTracker>(init);
    engine->use_reference_stages = reference;
  }
  Frame Step(const std::vector<double>& spectrum) {
    const beat_tracker::BeatTrackerData d = engine->analyze(spectrum);
    QueueComingBeat(queue, last_queued, d.now_interval, d.beat_time);
    Frame f{d.now_interval, d.reliability, d.beat_time, d.next_beat_time, 0.0,
            false,          d.stpm_vector};
    if (TakeDueBeat(queue, static_cast<int>(d.t_current)) && d.reliability >= threshold) {
      f.beat = true;
      f.tempo = 60.0 / IntervalSeconds(static_cast<int>(d.now_interval), kHop, kRate);
    }
    return f;
  }
  std::unique_ptr<beat_tracker::BeatTracker> engine;

 private:
  double threshold;
  std::list<int> queue;
  int last_queued = 0;
};

}  // namespace

int main(int argc, char** argv) {
  Settings settings;
  int first_file = 1;
  try {
    for (; first_file < argc; ++first_file) {
      const std::string arg = argv[first_file];
      if (arg == "--bpm" && first_file + 2 < argc) {
        settings.min_bpm = std::stoi(argv[first_file + 1]);
        settings.max_bpm = std::stoi(argv[first_file + 2]);
        first_file += 2;
      } else if (arg == "--threshold" && first_file + 1 < argc) {
        settings.threshold = std::stod(argv[++first_file]);
      } else {
        break;
      }
    }
  } catch (const std::exception&) {
    std::cerr << "compare-reference: --bpm takes two whole numbers, --threshold a number\n";
    return 2;
  }
  const std::string problem = CheckNodeParameters(kRate, kHop, settings.min_bpm, settings.max_bpm);
  if (!problem.empty()) {
    std::cerr << "compare-reference: " << problem << "\n";
    return 2;
  }
  if (first_file >= argc) {
    std::cerr << "usage: compare-reference [--bpm MIN MAX] [--threshold T] FILE...\n";
    return 2;
  }
  std::cout << "settings: " << settings.min_bpm << " ... " << settings.max_bpm << " BPM, threshold "
            << settings.threshold << "\n";
  double* in = fftw_alloc_real(kFrame);
  fftw_complex* spec = fftw_alloc_complex(kFrame / 2 + 1);
  fftw_plan plan = fftw_plan_dft_r2c_1d(kFrame, in, spec, FFTW_ESTIMATE);
  std::vector<double> window(kFrame);
  for (int i = 0; i < kFrame; ++i) window[i] = 0.5 - 0.5 * std::cos(2.0 * M_PI * i / kFrame);

  int failed_files = 0;
  long total_frames = 0, total_beats = 0;
  double worst_stpm = 0.0;
  for (int a = first_file; a < argc; ++a) {
    std::vector<float> audio;
    std::string error;
    if (!ReadMono16k(argv[a], audio, error)) {
      std::cerr << argv[a] << ": cannot read: " << error << "\n";
      ++failed_files;
      continue;
    }
    Tracker fast(false, settings), reference(true, settings);
    std::vector<double> spectrum(kFrame / 2);
    long frames = 0, beats = 0, mismatches = 0;
    std::ostringstream first;
    for (std::size_t start = 0; start + kFrame <= audio.size(); start += kHop, ++frames) {
      for (int i = 0; i < kFrame; ++i) in[i] = audio[start + i] * window[i];
      fftw_execute(plan);
      for (int k = 0; k < kFrame / 2; ++k) spectrum[k] = std::hypot(spec[k][0], spec[k][1]);
      const Frame x = fast.Step(spectrum);
      const Frame y = reference.Step(spectrum);
      if (x.beat) ++beats;
      const bool same = x.interval == y.interval && x.reliability == y.reliability &&
                        x.beat_time == y.beat_time && x.next_beat_time == y.next_beat_time &&
                        x.beat == y.beat && x.tempo == y.tempo;
      if (!same) {
        if (mismatches == 0)
          first << " first at frame " << frames << ": interval " << x.interval << "/" << y.interval
                << " reliability " << x.reliability << "/" << y.reliability << " beat " << x.beat
                << "/" << y.beat << " tempo " << x.tempo << "/" << y.tempo;
        ++mismatches;
      }
      // How far the fast matching vector is from the reference one (relative).
      for (std::size_t j = 0; j < x.stpm.size() && j < y.stpm.size(); ++j) {
        const double diff = std::fabs(x.stpm[j] - y.stpm[j]);
        if (diff > 1e-12) worst_stpm = std::max(worst_stpm, diff / std::fabs(y.stpm[j]));
      }
    }
    total_frames += frames;
    total_beats += beats;
    std::cout << (mismatches == 0 ? "same " : "DIFF ") << argv[a] << ": " << frames << " frames, "
              << beats << " beats, " << mismatches << " differing frames" << first.str() << "\n";
    if (mismatches) ++failed_files;
  }
  std::cout << "total: " << total_frames << " frames, " << total_beats << " beats, " << failed_files
            << " files differing or unreadable; largest relative difference "
            << "of a matching value above 1e-12: " << worst_stpm << "\n";
  fftw_destroy_plan(plan);
  fftw_free(in);
  fftw_free(spec);
  return failed_files == 0 ? 0 : 1;
}
