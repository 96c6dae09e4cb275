#include "tracking/devices/JackCapture.h"

#include <jack/jack.h>
#include <jack/ringbuffer.h>
#include <jack/thread.h>
#include <pthread.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "tracking/process/Interrupt.h"

namespace vesk_tracking {

namespace {

// Seconds of audio the ring holds between the callback and the tracker.
constexpr double kRingSeconds = 2.0;
constexpr long kWaitNanoseconds = 50000000;  // a read looks at Ctrl-C this often
// Real-time priority of the reading thread under JACK's process threads.
constexpr int kReaderBelowJack = 10;

}  // namespace

JackCapture::JackCapture(const Options& o) {
  sem_init(&arrived, 0, 0);
  jack_status_t status{};
  const int openOptions = JackNoStartServer | (o.server.empty() ? 0 : JackServerName);
  client = o.server.empty()
               ? jack_client_open(o.clientName.c_str(), static_cast<jack_options_t>(openOptions),
                                  &status)
               : jack_client_open(o.clientName.c_str(), static_cast<jack_options_t>(openOptions),
                                  &status, o.server.c_str());
  if (!client) {
    sem_destroy(&arrived);
    throw AudioError(std::string("cannot reach a JACK server") +
                     (o.server.empty() ? "" : " named '" + o.server + "'") +
                     ((status & JackServerFailed) ? ": none is running (start one with jackd, "
                                                    "or use --device for ALSA)"
                                                  : ""));
  }
  name = jack_get_client_name(client);
  rate = static_cast<int>(jack_get_sample_rate(client));

  std::vector<std::string> sources = o.connect;
  if (sources.empty() && o.autoConnect) {
    if (const char** system = jack_get_ports(client, nullptr, JACK_DEFAULT_AUDIO_TYPE,
                                             JackPortIsPhysical | JackPortIsOutput)) {
      for (const char** p = system; *p; ++p) sources.push_back(*p);
      jack_free(system);
    }
  }
  channelCount = o.channels > 0    ? o.channels
                 : sources.empty() ? 2
                                   : std::min<int>(2, sources.size());
  auto fail = [&](const std::string& what) {
    jack_client_close(client);
    client = nullptr;
    sem_destroy(&arrived);
    throw AudioError("JACK: " + what);
  };
  for (int c = 0; c < channelCount; ++c) {
    const std::string port = "in_" + std::to_string(c + 1);
    jack_port_t* p =
        jack_port_register(client, port.c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    if (!p) fail("cannot register the port " + port);
    ports.push_back(p);
  }
  buffers.resize(ports.size());
  const std::size_t bytes =
      static_cast<std::size_t>(kRingSeconds * rate) * channelCount * sizeof(float);
  ring = jack_ringbuffer_create(bytes);
  if (!ring) fail("cannot make the sample ring");
  jack_ringbuffer_mlock(ring);  // kept in memory if allowed; a wish, not a need
  jack_set_process_callback(client, &JackCapture::onProcess, this);
  jack_on_shutdown(client, &JackCapture::onShutdown, this);
  jack_set_xrun_callback(client, &JackCapture::onXrun, this);
  if (jack_activate(client) != 0) fail("cannot activate the client '" + name + "'");
  // Ports named by the user feed the channels in turn; of the system's, one
  // per channel.
  const std::size_t links =
      o.connect.empty() ? std::min(sources.size(), ports.size()) : sources.size();
  for (std::size_t i = 0; i < links; ++i) {
    jack_port_t* port = ports[i % ports.size()];
    const int e = jack_connect(client, sources[i].c_str(), jack_port_name(port));
    if (e != 0 && e != EEXIST)
      fail("cannot connect '" + sources[i] + "' to " + jack_port_name(port) +
           " (jack_lsp lists the ports)");
  }
}

JackCapture::~JackCapture() {
  if (client) {
    jack_deactivate(client);
    jack_client_close(client);
  }
  if (ring) jack_ringbuffer_free(ring);
  sem_destroy(&arrived);
}

int JackCapture::onProcess(std::uint32_t frames, void* arg) {
  auto* self = static_cast<JackCapture*>(arg);
  const std::size_t channels = self->ports.size();
  const std::size_t bytes = frames * channels * sizeof(float);
  if (jack_ringbuffer_write_space(self->ring) < bytes) {
    self->dropped.fetch_add(1, std::memory_order_relaxed);
    sem_post(&self->arrived);
    return 0;
  }
  for (std::size_t c = 0; c < channels; ++c)
    self->buffers[c] = static_cast<const float*>(jack_port_get_buffer(self->ports[c], frames));
  // Interleaved into the ring's free space, which may wrap once.
  jack_ringbuffer_data_t space[2];
  jack_ringbuffer_get_write_vector(self->ring, space);
  std::size_t at = 0;
  for (std::uint32_t i = 0; i < frames; ++i)
    for (std::size_t c = 0; c < channels; ++c, at += sizeof(float)) {
      char* to = at < space[0].len ? space[0].buf + at : space[1].buf + (at - space[0].len);
      std::memcpy(to, &self->buffers[c][i], sizeof(float));
    }
  jack_ringbuffer_write_advance(self->ring, bytes);
  sem_post(&self->arrived);
  return 0;
}

void JackCapture::onShutdown(void* arg) {
  auto* self = static_cast<JackCapture*>(arg);
  self->gone.store(true);
  sem_post(&self->arrived);
}

int JackCapture::onXrun(void* arg) {
  static_cast<JackCapture*>(arg)->xruns.fetch_add(1, std::memory_order_relaxed);
  return 0;
}

std::size_t JackCapture::read(float* out, std::size_t frames) {
  if (!readerScheduled) {
    readerScheduled = true;
    // A wish, not a need: without the right to it the thread stays as it is.
    if (jack_is_realtime(client))
      jack_acquire_real_time_scheduling(
          pthread_self(), std::max(1, jack_client_real_time_priority(client) - kReaderBelowJack));
  }
  const std::size_t frameBytes = ports.size() * sizeof(float);
  for (;;) {
    const std::size_t available = jack_ringbuffer_read_space(ring) / frameBytes;
    if (available > 0) {
      const std::size_t n = std::min(available, frames);
      jack_ringbuffer_read(ring, reinterpret_cast<char*>(out), n * frameBytes);
      return n;
    }
    if (gone.load()) throw AudioError("JACK: the server went away");
    if (interrupted()) return 0;  // Ctrl-C ends a live stream like its end
    timespec until{};
    clock_gettime(CLOCK_REALTIME, &until);
    until.tv_nsec += kWaitNanoseconds;
    if (until.tv_nsec >= 1000000000L) {
      until.tv_nsec -= 1000000000L;
      ++until.tv_sec;
    }
    while (sem_timedwait(&arrived, &until) != 0 && errno == EINTR) {
    }
  }
}

std::string JackCapture::shortfall() const {
  const std::int64_t lost = dropped.load(), late = xruns.load();
  if (lost == 0 && late == 0) return std::string();
  std::string text;
  if (lost > 0)
    text = std::to_string(lost) + " period(s) dropped: the tracker fell behind the JACK server";
  if (late > 0)
    text += (text.empty() ? "" : "; ") + std::to_string(late) + " xrun(s) reported by the server";
  return text;
}

std::vector<std::string> jackCapturePorts() {
  std::vector<std::string> names;
  jack_client_t* probe = jack_client_open("vesk-beat-list", JackNoStartServer, nullptr);
  if (!probe) return names;
  if (const char** ports =
          jack_get_ports(probe, nullptr, JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput)) {
    for (const char** p = ports; *p; ++p) names.push_back(*p);
    jack_free(ports);
  }
  jack_client_close(probe);
  return names;
}

void silenceJackLibrary() {
  jack_set_error_function([](const char*) {});
  jack_set_info_function([](const char*) {});
}

}  // namespace vesk_tracking
