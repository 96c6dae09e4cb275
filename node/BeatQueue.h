#ifndef VESK_NODE_BEATQUEUE_H
#define VESK_NODE_BEATQUEUE_H

#include <cstddef>
#include <list>
#include <ostream>

// The node's beat decisions, kept apart from the frame plumbing.

// Queues the frame two intervals after the latest beat, V = 2P + beat_time
// (P the interval truncated to int), when V lies more than 0.8 intervals after
// the frame queued last. Returns true when V was queued.
bool QueueComingBeat(std::list<int>& queue, int& lastQueued, double nowInterval, double beatTime);

// True when the frame t has reached the oldest queued beat; that beat is then
// removed from the queue.
bool TakeDueBeat(std::list<int>& queue, int t);

// Beat interval in seconds of an interval of P frames: P x hop / rate.
double IntervalSeconds(int frames, std::size_t advance, double samplingRate);

// One line of the beat log: tempo, frame and reliability, blank-separated.
void WriteBeatLogLine(std::ostream& log, double tempo, int frame, double reliability);

#endif
