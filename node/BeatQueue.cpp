#include "node/BeatQueue.h"

#include <cstdint>

bool QueueComingBeat(std::list<int>& queue, int& lastQueued, double nowInterval, double beatTime) {
  const int interval = static_cast<int>(nowInterval);
  const int coming = static_cast<int>(2 * interval + beatTime);
  if (!(coming > 0.8 * interval + lastQueued)) return false;
  queue.push_back(coming);
  lastQueued = coming;
  return true;
}

bool TakeDueBeat(std::list<int>& queue, int t) {
  if (queue.empty() || t < queue.front()) return false;
  queue.pop_front();
  return true;
}

double IntervalSeconds(int frames, std::size_t advance, double samplingRate) {
  return static_cast<double>(static_cast<std::uint64_t>(frames) * advance) / samplingRate;
}

void WriteBeatLogLine(std::ostream& log, double tempo, int frame, double reliability) {
  log << tempo << " " << frame << " " << reliability << std::endl;
}
