// A JACK client that plays a click track into its port "out" and tells when
// each click's first sample entered the port, for bench/jack_latency.py.
//
//   jack-click-feeder SERVER SECONDS BPM
//
// The clicks start a second after the port is first connected. When they
// have all been played it prints "clock JACK_US MONOTONIC_NS" (the two clocks
// read together), "xruns N M" (the server's as this client heard of them, and
// of those the ones after the first click) and
// "click N JACK_US" for each click (the time JACK gives the click's first
// frame), then ends.
#include <jack/jack.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

struct Feeder {
  jack_client_t* client = nullptr;
  jack_port_t* out = nullptr;
  double interval = 0.0;        // frames between clicks, not always whole
  std::int64_t next = 0;        // the click playing or to play
  std::int64_t clickCount = 0;  // clicks to play
  std::int64_t start = -1;      // frame of the first click; -1 before the port is connected
  std::vector<jack_time_t> times;
  std::atomic<std::int64_t> played{0};
  std::atomic<int> xruns{0}, xrunsPlaying{0};  // all, and those after the first click
};

// A short decaying noise burst, the same every run.
float clickSample(std::int64_t i) {
  const std::uint32_t h = static_cast<std::uint32_t>(i) * 2654435761u;
  const float noise = static_cast<float>(h >> 8) / static_cast<float>(1u << 24) * 2.0f - 1.0f;
  return 0.6f * noise * std::exp(-static_cast<float>(i) / 120.0f);
}

int process(jack_nframes_t frames, void* arg) {
  auto* f = static_cast<Feeder*>(arg);
  auto* buffer = static_cast<float*>(jack_port_get_buffer(f->out, frames));
  const std::int64_t first = jack_last_frame_time(f->client);
  if (f->start < 0 && jack_port_connected(f->out) > 0)
    f->start = first + jack_get_sample_rate(f->client);
  constexpr std::int64_t kClickFrames = 960;  // 20 ms at 48 kHz
  for (jack_nframes_t i = 0; i < frames; ++i) {
    buffer[i] = 0.0f;
    if (f->start < 0) continue;
    const auto clickAt = [&](std::int64_t n) { return f->start + std::llround(n * f->interval); };
    const std::int64_t at = first + i;
    while (f->next + 1 < f->clickCount && at >= clickAt(f->next + 1)) ++f->next;
    const std::int64_t k = at - clickAt(f->next);
    if (k < 0 || k >= kClickFrames) continue;
    buffer[i] = clickSample(k);
    if (k == 0) {
      f->times[static_cast<std::size_t>(f->next)] =
          jack_frames_to_time(f->client, static_cast<jack_nframes_t>(at));
      f->played.store(f->next + 1, std::memory_order_release);
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: jack-click-feeder SERVER SECONDS BPM\n");
    return 2;
  }
  const double seconds = std::atof(argv[2]), bpm = std::atof(argv[3]);
  Feeder f;
  f.client = jack_client_open(
      "clicks", static_cast<jack_options_t>(JackNoStartServer | JackServerName), nullptr, argv[1]);
  if (!f.client) {
    std::fprintf(stderr, "jack-click-feeder: no JACK server '%s'\n", argv[1]);
    return 1;
  }
  const double rate = jack_get_sample_rate(f.client);
  f.interval = rate * 60.0 / bpm;
  f.clickCount = static_cast<std::int64_t>(seconds * bpm / 60.0);
  f.times.assign(static_cast<std::size_t>(f.clickCount), 0);
  f.out = jack_port_register(f.client, "out", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
  jack_set_process_callback(f.client, process, &f);
  jack_set_xrun_callback(
      f.client,
      [](void* arg) {
        auto* f = static_cast<Feeder*>(arg);
        f->xruns.fetch_add(1);
        if (f->played.load() > 0) f->xrunsPlaying.fetch_add(1);
        return 0;
      },
      &f);
  if (!f.out || jack_activate(f.client) != 0) {
    std::fprintf(stderr, "jack-click-feeder: cannot activate\n");
    return 1;
  }
  std::printf("ready %.0f\n", rate);
  std::fflush(stdout);
  while (f.played.load(std::memory_order_acquire) < f.clickCount) usleep(100000);
  usleep(500000);  // the last click's samples too
  timespec now{};
  const jack_time_t jackNow = jack_get_time();
  clock_gettime(CLOCK_MONOTONIC, &now);
  std::printf("clock %llu %lld\n", static_cast<unsigned long long>(jackNow),
              static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
  std::printf("xruns %d %d\n", f.xruns.load(), f.xrunsPlaying.load());
  for (std::size_t n = 0; n < f.times.size(); ++n)
    std::printf("click %zu %llu\n", n, static_cast<unsigned long long>(f.times[n]));
  jack_client_close(f.client);
  return 0;
}
