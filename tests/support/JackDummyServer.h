#ifndef VESK_TESTS_SUPPORT_JACKDUMMYSERVER_H
#define VESK_TESTS_SUPPORT_JACKDUMMYSERVER_H

// A JACK server of its own for a test, with the dummy backend (no sound
// card): 48 kHz, periods of 256 frames, and a client "feeder" with one output
// port whose samples `play` makes. Each test names its server once and for
// all: JACK holds a few servers at most, and takes back the place of a server
// that died without stopping (a run killed at its time limit) only for a
// server of the same name, so names made afresh each run would use them up.
#include <jack/jack.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include "tracking/devices/JackCapture.h"

class JackDummyServer {
 public:
  using Player = std::function<float(long sample)>;

  static bool available() { return ::access("/usr/bin/jackd", X_OK) == 0; }

  // Starts the server and the feeder; `started()` tells whether both are up.
  JackDummyServer(const std::string& name, Player play)
      : player(std::move(play)), serverName(name) {
    vesk_tracking::silenceJackLibrary();  // its lines while the server starts
    server = ::fork();
    if (server == 0) {
      ::setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
      std::freopen("/dev/null", "w", stdout);
      std::freopen("/dev/null", "w", stderr);
      ::execl("/usr/bin/jackd", "jackd", "--no-realtime", "-n", serverName.c_str(), "-d", "dummy",
              "-r", "48000", "-p", "256", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    for (int i = 0; i < 100 && !feeder; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      feeder = jack_client_open("feeder",
                                static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                                nullptr, serverName.c_str());
    }
    if (!feeder) return;
    out = jack_port_register(feeder, "out", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
    jack_set_process_callback(feeder, &JackDummyServer::process, this);
    if (!out || jack_activate(feeder) != 0) closeFeeder();
  }
  ~JackDummyServer() { stop(); }
  JackDummyServer(const JackDummyServer&) = delete;
  JackDummyServer& operator=(const JackDummyServer&) = delete;

  bool started() const { return feeder != nullptr; }
  const std::string& name() const { return serverName; }
  // The feeder leaves and the server ends, as when a server goes away.
  void stop() {
    closeFeeder();
    if (server > 0) {
      ::kill(server, SIGTERM);
      ::waitpid(server, nullptr, 0);
      server = -1;
    }
  }

 private:
  static int process(jack_nframes_t frames, void* arg) {
    auto* self = static_cast<JackDummyServer*>(arg);
    auto* buffer = static_cast<float*>(jack_port_get_buffer(self->out, frames));
    for (jack_nframes_t i = 0; i < frames; ++i) buffer[i] = self->player(self->played++);
    return 0;
  }
  void closeFeeder() {
    if (feeder) jack_client_close(feeder);
    feeder = nullptr;
  }

  Player player;
  std::string serverName;
  pid_t server = -1;
  jack_client_t* feeder = nullptr;
  jack_port_t* out = nullptr;
  long played = 0;
};

#endif
