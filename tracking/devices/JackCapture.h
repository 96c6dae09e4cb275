#ifndef VESK_TRACKING_JACKCAPTURE_H
#define VESK_TRACKING_JACKCAPTURE_H

#include <semaphore.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include <jack/ringbuffer.h>

#include "tracking/input/AudioReader.h"

typedef struct _jack_client jack_client_t;
typedef struct _jack_port jack_port_t;

namespace vesk_tracking {

// Live audio from a JACK server: a client with one input port per channel
// ("in_1", "in_2", ...), at the server's rate. The process callback only
// copies the ports' samples, interleaved, into a lock-free ring and wakes the
// reader: no allocation, lock or I/O there. When the ring is full (the
// tracker fell behind) the period is dropped and counted, never silently.
// Ctrl-C ends the stream (read() returns 0); the server going away is an
// error. On a real-time server the thread that reads is made real-time too,
// below JACK's own threads, so that busy programs do not hold the beats back.
class JackCapture : public AudioReader {
 public:
  struct Options {
    std::string clientName = "vesk-beat";
    int channels = 0;                  // 0: one per port to connect, or 2
    bool autoConnect = true;           // to the system's capture ports
    std::vector<std::string> connect;  // these ports instead
    std::string server;                // empty: the default server
  };
  // Throws AudioError when there is no server, or a port cannot be made or
  // connected.
  explicit JackCapture(const Options& options);
  ~JackCapture() override;
  JackCapture(const JackCapture&) = delete;
  JackCapture& operator=(const JackCapture&) = delete;

  int channels() const override { return channelCount; }
  int sampleRate() const override { return rate; }
  std::size_t read(float* out, std::size_t frames) override;
  bool live() const override { return true; }
  std::string shortfall() const override;

  const std::string& clientName() const { return name; }
  std::int64_t overruns() const { return dropped.load(); }

 private:
  static int onProcess(std::uint32_t frames, void* self);
  static void onShutdown(void* self);
  static int onXrun(void* self);

  jack_client_t* client = nullptr;
  std::vector<jack_port_t*> ports;
  std::vector<const float*> buffers;  // the ports' buffers of a period (callback only)
  jack_ringbuffer_t* ring = nullptr;
  sem_t arrived;
  std::string name;
  int channelCount = 0;
  int rate = 0;
  std::atomic<std::int64_t> dropped{0};  // periods dropped: the ring was full
  std::atomic<std::int64_t> xruns{0};    // the server's own
  std::atomic<bool> gone{false};         // the server shut the client down
  bool readerScheduled = false;          // the reading thread's priority was seen to
};

// The capture ports of the running JACK server (empty when none runs).
std::vector<std::string> jackCapturePorts();

// JACK's library prints its own lines on standard error (a missing server
// takes four); a program that says what went wrong itself turns them off.
// Process-wide.
void silenceJackLibrary();

}  // namespace vesk_tracking

#endif
