#include "tracking/network/ConsoleMute.h"

#include <iostream>
#include <mutex>

namespace vesk_tracking {

namespace {
std::mutex lock;
int holders = 0;
std::streambuf* saved = nullptr;
}  // namespace

ConsoleMute::ConsoleMute() {
  std::lock_guard<std::mutex> hold(lock);
  // Without a buffer the stream fails every write at once: nothing is formatted.
  if (holders++ == 0) saved = std::cout.rdbuf(nullptr);
}

ConsoleMute::~ConsoleMute() {
  std::lock_guard<std::mutex> hold(lock);
  if (--holders == 0) std::cout.rdbuf(saved);  // also clears the failure
}

}  // namespace vesk_tracking
