#include <cmath>
#include <cstdlib>
#include <iostream>

#include "beat_tracker/BeatTracker.h"
#include "beat_tracker/LargestEntry.h"

namespace beat_tracker {

namespace {

// Clears the entries from position - half up to position + half - 1 that exist.
void ClearAround(std::vector<double>& Z, int position, int half) {
  const int size = static_cast<int>(Z.size());
  for (int i = position - half; i < position + half; ++i)
    if (i >= 0 && i < size) Z[i] = 0.0;
}

}  // namespace

void BeatTracker::EstimatePhase(int past_beats) {
  const int t = t_current;
  const int N = max_interval;
  const int F = window_length;
  const int P = now_interval;
  const double Pd = P;

  // Gate: enough history, three beats of comb, and the anchor more than one
  // and a half intervals before the newest final score.
  if (!(t > F + N && past_beats == 3 && static_cast<double>(t - N) > next_beat_time + Pd * 3 * 0.5))
    return;
  // The score window reaches N + P frames back; the interval range checked at
  // construction keeps that inside the history, a state prepared by hand may not.
  if (P < 1 || N + P >= kHistoryLength) return;

  // Z[i]: final score of frame t - N - 1 - i, standing for the beat time t - N - i.
  std::vector<double>& Z = phase_scratch_;
  Z.resize(P);
  for (int i = 0; i < P; ++i) Z[i] = beat_reliability_buffer.back(N + 1 + i);

  const double h = Pd / 3;
  const int k = static_cast<int>(std::floor(h));

  const LargestEntry first = FindLargest(Z);
  const double Zmax1 = first.value;
  const int p1 = first.position;
  if (Zmax1 == 0) return;  // no score in the window: keep everything
  Z[p1] = 0.0;
  ClearAround(Z, p1, k);

  LargestEntry second = FindLargest(Z);
  while (second.value != 0 && std::abs(p1 - second.position) < h) {
    Z[second.position] = 0.0;
    *console << "cal max in time sec" << std::endl;
    second = FindLargest(Z);
  }
  const double Zmax2 = second.value;
  const int p2 = second.position;
  Z[p2] = 0.0;
  ClearAround(Z, p2, k);

  LargestEntry third = FindLargest(Z);
  while (third.value != 0 &&
         (std::abs(p1 - third.position) < h || std::abs(p2 - third.position) < h)) {
    Z[third.position] = 0.0;
    *console << "cal max in time third" << std::endl;
    third = FindLargest(Z);
  }
  const int p3 = third.position;

  Z[p2] = Zmax2;
  Z[p1] = Zmax1;
  const double z2 = Z[p2];
  const double z3 = Z[p3];

  const int T1 = t - N - p1;
  const int T2 = t - N - p2;
  const int T3 = t - N - p3;
  const double E = (t - N) - 0.5 * Pd;  // middle of the window
  const double a1 = std::fabs(T1 - E);
  const double a2 = std::fabs(T2 - E);
  const double a3 = std::fabs(T3 - E);

  // The weaker peaks count only when the interval held since the previous
  // estimation and they are not negligible against the strongest.
  bool valid2 = false;
  bool valid3 = false;
  if (std::fabs(phase_interval - Pd) > 5) {
    phase_valid = false;
  } else {
    valid2 = z2 != 0 && phase_valid && Zmax1 / z2 < 50;
    valid3 = z3 != 0 && phase_valid && Zmax1 / z3 < 50;
  }
  phase_interval = Pd;

  change_count += 1;
  int chosen = T1;
  if (valid2 && valid3) {
    double nearest = a1;
    if (a2 < nearest) {
      chosen = T2;
      nearest = a2;
    }
    if (a3 < nearest) chosen = T3;
  } else if (valid2) {
    chosen = a2 < a1 ? T2 : T1;
  }
  next_beat_time = chosen;

  // Range check: the anchor belongs in the middle third of the window. The
  // first miss in a row takes the middle, the next one the strongest peak.
  const double lo = (t - N) - (Pd + Pd) / 3;
  const double hi = (t - N) - h;
  if (phase_valid && (next_beat_time < lo || next_beat_time > hi)) {
    *console << "beat not detect out of range : ";
    if (static_cast<double>(out_of_range_count) < std::min(1.0, change_count / 5.0)) {
      next_beat_time = static_cast<int>(E);
      out_of_range_count += 1;
      *console << "remain" << std::endl;
    } else {
      next_beat_time = T1;
      *console << "change : " << change_count << ", " << out_of_range_count << std::endl;
      change_count = 0;
      out_of_range_count = 0;
    }
  } else {
    out_of_range_count = 0;
  }
  phase_valid = true;
}

int BeatTracker::AdvanceBeatTime() {
  const int t = t_current;
  const int N = max_interval;
  int b = next_beat_time;
  if (b == 0) return 0;

  // An anchor the interval history no longer covers (after a long stretch in
  // which no estimation found a score, e.g. 30 s of silence) cannot be stepped
  // forward: the intervals current at its frames are gone. It is dropped; the
  // beat time stays 0 until the next estimation sets a new anchor. The advance
  // only moves b forward and reads at b, the next beat and b + N, so checking
  // the starting anchor keeps every read inside the ring.
  if (t - b >= kHistoryLength || t - b < 0) {
    next_beat_time = 0;
    return 0;
  }

  int passes = 0;
  while (true) {
    const int iv = static_cast<int>(interval_buffer.back(t - b));
    ++passes;
    int nb = b + iv;
    if (passes > 50) {
      *console << "temp_beat_time : " << nb << std::endl;
      *console << "t_current : " << t << std::endl;
      *console << "now_interval : " << iv << std::endl;
      *console << "next_beat_time : " << b << std::endl;
    }
    // Stored intervals are at least one frame; the zero fill of the start-up
    // (or a hand-made non-positive one) ends the walk.
    if (nb >= t || iv <= 0) break;
    const int iv2 = static_cast<int>(interval_buffer.back(t - nb));
    if (0 < iv2 && iv2 < iv) {
      nb = b + iv2;  // the interval shortened in between
    } else if (iv2 == iv && b + N < t) {
      const int iv3 = static_cast<int>(interval_buffer.back(t - b - N));
      if (iv3 > iv) nb = b + iv3;  // it lengthened within the next N frames
    }
    if (passes > 50) {
      *console << "in temp_beat_time : " << nb << std::endl;
      *console << "in t_current : " << t << std::endl;
      *console << "in now_interval : " << iv << std::endl;
      *console << "in next_beat_time : " << b << std::endl;
    }
    if (nb >= t) break;
    b = nb;
  }
  return b;
}

}  // namespace beat_tracker
