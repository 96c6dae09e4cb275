#include <cmath>
#include <cstdlib>

#include "beat_tracker/BeatTracker.h"
#include "beat_tracker/LargestEntry.h"

namespace beat_tracker {

namespace {

// Strict local maxima of the matching vector; the ends count when they exceed
// their one neighbour, and equal neighbours make no peak.
void PeaksOf(const std::vector<double>& S, std::vector<double>& B) {
  const std::size_t n = S.size();
  B.assign(n, 0.0);
  if (n == 1) {
    B[0] = S[0] > 0 ? S[0] : 0.0;
    return;
  }
  for (std::size_t i = 0; i < n; ++i) {
    const bool above_left = i == 0 || S[i] > S[i - 1];
    const bool above_right = i + 1 == n || S[i] > S[i + 1];
    if (above_left && above_right) B[i] = S[i];
  }
}

}  // namespace

IntervalChoice BeatTracker::SelectInterval(const std::vector<double>& S) {
  const int m = min_interval;
  const int limit = m - 5;  // intervals are scaled up until they reach it
  IntervalChoice choice;

  std::vector<double>& B = peaks_scratch_;
  PeaksOf(S, B);
  const LargestEntry first = FindLargest(B);
  double P1 = first.value;
  const int L1 = first.position;
  if (!B.empty()) B[L1] = 0.0;
  int X = -m;
  double P2 = 0.0;
  double J = 0.0;

  if (P1 == 0) {
    // No peak at all: keep the held choice; the memory does not decay.
    J = held_interval_index;
  } else {
    // Second peak: the strongest one at least 20 positions from the first.
    LargestEntry second = FindLargest(B);
    while (std::abs(second.position - L1) < 20 && second.value != 0) {
      B[second.position] = 0.0;
      second = FindLargest(B);
    }
    P2 = second.value;
    const int L2 = second.position;

    if (0.7 * P1 > P2) {
      J = L1;
      P2 = 0.0;
    } else {
      // Two comparable peaks: test whether their distance, doubled or tripled
      // up to the range, explains one of them as a multiple of the other.
      X = L2;
      const int d = std::abs(L1 - L2);
      int D = d;
      while (D < limit && D > 0) D = 2 * D;
      const int e1 = std::abs(D - m - L1);
      const int e2 = std::abs(D - m - L2);
      const int f1 = std::abs(2 * D - m - L1);
      const int f2 = std::abs(2 * D - m - L2);
      if (e1 > e2 && e2 < 5) {
        J = L2;
      } else if (f1 > f2 && f2 < 5) {
        J = L2;
      } else if (e1 < 5 || f1 < 5) {
        J = L1;
      } else {
        int T = d;
        while (T < limit && T > 0) T = 3 * T;
        const int g1 = std::abs(T - m - L1);
        const int g2 = std::abs(T - m - L2);
        J = (g1 > g2 && g2 < 5) ? L2 : L1;
      }
    }

    // Hold-over: the previous choice stays while the current peak is weaker
    // than its decaying memory, and a 2:1 or 3:1 jump away from it is undone.
    held_peak = 0.85 * held_peak;
    if (held_peak > P1) {
      P1 = held_peak;
      J = held_interval_index;
    } else {
      const double h = held_interval_index;
      const double dd = std::fabs(h - J);
      if (dd > 19) {
        double DD = dd;
        while (DD < limit) DD = 2 * DD;
        if (std::fabs(DD - m - h) < 5) {
          if (!(std::fabs(2 * DD - m - J) < 5)) {
            J = DD - m;
            P1 = held_peak;
          }
        } else if (!(std::fabs(DD - m - J) < 5)) {
          double TT = dd;
          while (TT < limit) TT = 3 * TT;
          if (std::fabs(TT - m - h) < 5) {
            J = TT - m;
            P1 = held_peak;
          }
        }
      }
    }
  }

  // A frame without any matching evidence: the shortest marker interval.
  no_onset = FindLargest(S).value == 0;
  if (no_onset) J = -5;

  held_interval_index = J;
  held_peak = P1;

  choice.index = J;
  choice.first_peak = P1;
  choice.second_peak = P2;
  choice.first_position = L1;
  choice.second_position = X;
  return choice;
}

}  // namespace beat_tracker
