#ifndef VESK_CONDITIONING_VERDICTSHARES_H
#define VESK_CONDITIONING_VERDICTSHARES_H

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>

namespace vesk_conditioning {

// The odds of `N` verdicts averaged over the last judgements: each
// judgement's scores through a softmax, the plain mean of the first ones,
// then a running mean that weighs the newest 1/8 (a few beats' worth, so a
// verdict holds through a bar of syncopation). Allocates nothing.
template <std::size_t N>
class VerdictShares {
 public:
  // One judgement's scores (log-odds up to a common constant).
  void add(std::array<double, N> scores) {
    const double top = *std::max_element(scores.begin(), scores.end());
    double sum = 0.0;
    for (double& v : scores) sum += (v = std::exp(v - top));
    ++count;
    const double w = std::max(kNewest, 1.0 / count);
    for (std::size_t k = 0; k < N; ++k) shares[k] += w * (scores[k] / sum - shares[k]);
  }
  // Verdict `k`'s averaged odds (0 before any judgement).
  double share(std::size_t k) const { return shares[k]; }
  int judged() const { return count; }
  void clear() {
    shares.fill(0.0);
    count = 0;
  }

 private:
  static constexpr double kNewest = 1.0 / 8.0;
  std::array<double, N> shares{};
  int count = 0;
};

}  // namespace vesk_conditioning

#endif
