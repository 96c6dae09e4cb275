#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

#include "tests/voice_cancel/ScriptedRand.h"
#include "voice_cancel/SemiBlind.h"

namespace {

struct IcaDeleter {
  void operator()(FD_ICA* ica) const { delete_FD_ICA(ica); }
};
using IcaPtr = std::unique_ptr<FD_ICA, IcaDeleter>;

struct Settings {
  int taps = 1;
  int stride = 1;
  double error_scale = 1.0;
  double ref_scale = 1.0;
  double mu = 0.01;
  double error_scale_step = 0.01;
  double ref_scale_step = 0.01;
  double mean_rate = 0.0;
  double power_floor = 0.0001;
};

IcaPtr make(const Settings& s) {
  return IcaPtr(new_FD_ICA(s.taps, s.stride, s.error_scale, s.ref_scale, s.mu, s.error_scale_step,
                           s.ref_scale_step, s.mean_rate, s.power_floor));
}

class FdIcaTest : public ::testing::Test {
 protected:
  void TearDown() override { scripted_rand::useSystem(); }
};

TEST_F(FdIcaTest, WorkedStepStaysWithinTheDitherBounds) {
  IcaPtr ica = make(Settings{});
  ASSERT_NE(ica, nullptr);
  const double mix[2] = {1.0, 0.0};
  const double ref[2] = {1.0, 0.0};
  double out[2] = {-9.0, -9.0};
  EXPECT_EQ(cancel_FD_ICA(ica.get(), mix, out, ref, 1), 0);
  EXPECT_EQ(out[0], 1.0);
  EXPECT_EQ(out[1], 0.0);
  EXPECT_GE(ica->coef[0], 0.0076125);
  EXPECT_LE(ica->coef[0], 0.0076160);
  EXPECT_EQ(ica->coef[1], 0.0);
  for (double scale : {ica->error_scale, ica->ref_scale}) {
    EXPECT_GE(scale, 1.0023722);
    EXPECT_LE(scale, 1.0023841);
  }
  EXPECT_EQ(ica->error_mean[0], 0.0);
  EXPECT_EQ(ica->ref_mean[0], 0.0);
  EXPECT_EQ(ica->pos, 1);
  EXPECT_EQ(ica->mask, 1);
}

TEST_F(FdIcaTest, WorkedStepAtBothEndsOfTheDither) {
  // d1 drives the coefficient and the error scale, d2 the reference scale.
  scripted_rand::script({0, RAND_MAX});
  IcaPtr ica = make(Settings{});
  const double one[2] = {1.0, 0.0};
  double out[2];
  cancel_FD_ICA(ica.get(), one, out, one, 1);
  EXPECT_EQ(scripted_rand::draws(), 2);
  EXPECT_DOUBLE_EQ(ica->coef[0], 0.01 * std::tanh(1.0));
  EXPECT_DOUBLE_EQ(ica->error_scale, 1.0 + 0.01 * (1.0 - std::tanh(1.0)));
  EXPECT_DOUBLE_EQ(ica->ref_scale, 1.0 + 0.01 * (1.0 - 1.001 * std::tanh(1.001)));
}

TEST_F(FdIcaTest, RingLengthIsThePowerOfTwoCoveringAllTaps) {
  struct Case {
    int taps, stride, mask;
  };
  for (Case c : {Case{8, 1, 7}, Case{1, 1, 1}, Case{0, 1, 1}, Case{2, 1, 1}, Case{3, 1, 3},
                 Case{3, 3, 15}, Case{5, 2, 15}, Case{4, 0, 1}, Case{4, -2, 1}}) {
    Settings s;
    s.taps = c.taps;
    s.stride = c.stride;
    IcaPtr ica = make(s);
    ASSERT_NE(ica, nullptr) << c.taps << " x " << c.stride;
    EXPECT_EQ(ica->mask, c.mask) << c.taps << " x " << c.stride;
    EXPECT_EQ(ica->taps, c.taps);
    EXPECT_EQ(ica->stride, c.stride);
  }
}

TEST_F(FdIcaTest, RejectsNegativeTapsAndRingsBeyondTheIntRange) {
  Settings s;
  s.taps = -1;
  EXPECT_EQ(make(s), nullptr);
  s.taps = 1 << 20;
  s.stride = 1 << 12;  // 2^32 samples: more than a ring can hold
  EXPECT_EQ(make(s), nullptr);
}

TEST_F(FdIcaTest, NegativePowerFloorBecomesTiny) {
  Settings s;
  s.power_floor = -1.0;
  EXPECT_EQ(make(s)->power_floor, 1e-10);
  s.power_floor = 0.0;
  EXPECT_EQ(make(s)->power_floor, 0.0);
  s.power_floor = 0.5;
  EXPECT_EQ(make(s)->power_floor, 0.5);
}

TEST_F(FdIcaTest, QuietReferencePassesThroughAndTheFloorItselfIsProcessed) {
  Settings s;
  s.power_floor = 0.25;
  IcaPtr ica = make(s);
  const double mix[2] = {3.0, -4.0};
  const double quiet[2] = {0.3, 0.3};  // power 0.18
  double out[2];
  scripted_rand::script({});
  cancel_FD_ICA(ica.get(), mix, out, quiet, 1);
  EXPECT_EQ(out[0], 3.0);
  EXPECT_EQ(out[1], -4.0);
  EXPECT_EQ(ica->pos, 0);
  EXPECT_EQ(ica->error_scale, 1.0);
  EXPECT_EQ(ica->ref_scale, 1.0);
  EXPECT_EQ(ica->coef[0], 0.0);
  EXPECT_EQ(ica->ref_history[0], 0.3);  // stored, to be overwritten by the next sample
  EXPECT_EQ(scripted_rand::draws(), 0);

  const double at_floor[2] = {0.5, 0.0};  // power exactly 0.25
  cancel_FD_ICA(ica.get(), mix, out, at_floor, 1);
  EXPECT_EQ(out[0], 3.0);  // fresh filter: out is mix
  EXPECT_EQ(ica->pos, 1);
  EXPECT_EQ(scripted_rand::draws(), 2);
  EXPECT_NE(ica->coef[0], 0.0);
  EXPECT_NE(ica->error_scale, 1.0);
  EXPECT_EQ(ica->ref_history[0], 0.5);
}

TEST_F(FdIcaTest, ZeroErrorWithZeroDitherGivesNoUpdateInsteadOfNan) {
  Settings s;
  s.power_floor = 0.0;
  IcaPtr ica = make(s);
  scripted_rand::script({0, 0});
  const double mix[2] = {0.0, 0.0};
  const double ref[2] = {2.0, 0.0};
  double out[2];
  cancel_FD_ICA(ica.get(), mix, out, ref, 1);
  EXPECT_EQ(ica->coef[0], 0.0);
  EXPECT_EQ(ica->coef[1], 0.0);
  EXPECT_DOUBLE_EQ(ica->error_scale, 1.01);  // r_u = 0: the scale grows by its step
  EXPECT_FALSE(std::isnan(ica->ref_scale));
}

TEST_F(FdIcaTest, ZeroReferenceWithZeroFloorIsProcessed) {
  Settings s;
  s.power_floor = 0.0;
  s.mean_rate = 0.5;
  IcaPtr ica = make(s);
  const double mix[2] = {1.0, 1.0};
  const double ref[2] = {1.0, -1.0};
  const double zero[2] = {0.0, 0.0};
  double out[2];
  cancel_FD_ICA(ica.get(), mix, out, ref, 1);
  EXPECT_EQ(ica->ref_mean[0], 0.5);
  EXPECT_EQ(ica->ref_mean[1], -0.5);
  const double ref_scale = ica->ref_scale;
  cancel_FD_ICA(ica.get(), mix, out, zero, 1);
  EXPECT_EQ(ica->pos, 0);  // second sample processed, ring of 2 wrapped
  // y = ref_scale x (0 - ref_mean), computed with the values before this sample.
  EXPECT_EQ(ica->scaled_ref_history[2], ref_scale * -0.5);
  EXPECT_EQ(ica->scaled_ref_history[3], ref_scale * 0.5);
}

TEST_F(FdIcaTest, MeansStayZeroWithZeroRate) {
  IcaPtr ica = make(Settings{});
  std::vector<double> mix(200), ref(200), out(200);
  for (int i = 0; i < 200; ++i) {
    mix[i] = std::sin(i * 0.3) + 0.5;
    ref[i] = std::cos(i * 0.7) + 0.5;
  }
  cancel_FD_ICA(ica.get(), mix.data(), out.data(), ref.data(), 100);
  EXPECT_EQ(ica->error_mean[0], 0.0);
  EXPECT_EQ(ica->error_mean[1], 0.0);
  EXPECT_EQ(ica->ref_mean[0], 0.0);
  EXPECT_EQ(ica->ref_mean[1], 0.0);
}

// The update written out once more, with std::complex, step by step.
struct Model {
  int taps, stride, mask;
  std::vector<std::complex<double>> w, x, y;
  int pos = 0;
  double es, rs, mu, ess, rss, rate, floor;
  std::complex<double> em, rm;

  explicit Model(const Settings& s, int ring)
      : taps(s.taps),
        stride(s.stride),
        mask(ring - 1),
        w(s.taps),
        x(ring),
        y(ring),
        es(s.error_scale),
        rs(s.ref_scale),
        mu(s.mu),
        ess(s.error_scale_step),
        rss(s.ref_scale_step),
        rate(s.mean_rate),
        floor(s.power_floor) {}

  std::complex<double> step(std::complex<double> mix, std::complex<double> ref) {
    x[pos] = ref;
    if (floor > std::norm(ref)) return mix;
    std::complex<double> echo;
    for (int j = 0; j < taps; ++j) echo += w[j] * x[(pos - j * stride) & mask];
    const std::complex<double> out = mix - echo;
    const std::complex<double> u = es * (out - em);
    y[pos] = rs * (x[pos] - rm);
    const double d1 = std::rand() * 0.001 / 2147483647.0;
    const double d2 = std::rand() * 0.001 / 2147483647.0;
    const double ru = std::abs(u) + d1;
    const double ry = std::abs(y[pos]) + d2;
    const std::complex<double> phi = u * (std::tanh(ru) / ru);
    for (int j = 0; j < taps; ++j) w[j] += mu * phi * std::conj(y[(pos - j * stride) & mask]);
    es = std::fabs(es + ess * (1 - ru * std::tanh(ru)) * es);
    rs = std::fabs(rs + rss * (1 - ry * std::tanh(ry)) * rs);
    em += rate * (out - em);
    rm += rate * (ref - rm);
    pos = (pos + 1) & mask;
    return out;
  }
};

TEST_F(FdIcaTest, LongRunMatchesAStepByStepModel) {
  Settings s;
  s.taps = 5;
  s.stride = 2;  // ring of 16
  s.mean_rate = 0.01;
  s.power_floor = 0.05;
  s.mu = 0.02;
  const int n = 1000;
  std::vector<double> mix(2 * n), ref(2 * n), out(2 * n);
  for (int i = 0; i < n; ++i) {
    ref[2 * i] = std::sin(0.37 * i) * (i % 7 == 0 ? 0.1 : 1.0);  // some samples below the floor
    ref[2 * i + 1] = std::cos(0.11 * i);
    mix[2 * i] = 0.6 * ref[2 * i] + 0.2 * std::sin(1.3 * i);
    mix[2 * i + 1] = 0.6 * ref[2 * i + 1] - 0.3 * std::cos(0.9 * i);
  }
  IcaPtr ica = make(s);
  scripted_rand::repeatable(12345);
  // In two calls: state carries over from one call to the next.
  cancel_FD_ICA(ica.get(), mix.data(), out.data(), ref.data(), 400);
  cancel_FD_ICA(ica.get(), mix.data() + 800, out.data() + 800, ref.data() + 800, n - 400);

  Model model(s, 16);
  scripted_rand::repeatable(12345);
  for (int i = 0; i < n; ++i) {
    const std::complex<double> expected =
        model.step({mix[2 * i], mix[2 * i + 1]}, {ref[2 * i], ref[2 * i + 1]});
    ASSERT_NEAR(out[2 * i], expected.real(), 1e-9) << "sample " << i;
    ASSERT_NEAR(out[2 * i + 1], expected.imag(), 1e-9) << "sample " << i;
  }
  for (int j = 0; j < s.taps; ++j) {
    EXPECT_NEAR(ica->coef[2 * j], model.w[j].real(), 1e-9);
    EXPECT_NEAR(ica->coef[2 * j + 1], model.w[j].imag(), 1e-9);
  }
  EXPECT_NEAR(ica->error_scale, model.es, 1e-9);
  EXPECT_NEAR(ica->ref_scale, model.rs, 1e-9);
  EXPECT_NEAR(ica->error_mean[0], model.em.real(), 1e-12);
  EXPECT_NEAR(ica->ref_mean[1], model.rm.imag(), 1e-12);
  EXPECT_EQ(ica->pos, model.pos);
}

TEST_F(FdIcaTest, LearnsAnEchoPath) {
  // mix = 0.8 ref[n] - 0.3i ref[n-1] + a weak independent signal: the output
  // should come close to the independent signal alone.
  Settings s;
  s.taps = 2;
  s.mu = 0.05;
  IcaPtr ica = make(s);
  const int n = 20000;
  std::vector<double> mix(2 * n), ref(2 * n), out(2 * n);
  std::mt19937 generator(7);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  auto noise = [&] { return uniform(generator); };
  for (int i = 0; i < n; ++i) {
    ref[2 * i] = noise();
    ref[2 * i + 1] = noise();
  }
  double own_power = 0.0;
  for (int i = 0; i < n; ++i) {
    const double own_re = 0.1 * noise();
    const double own_im = 0.1 * noise();
    const double prev_re = i > 0 ? ref[2 * i - 2] : 0.0;
    const double prev_im = i > 0 ? ref[2 * i - 1] : 0.0;
    mix[2 * i] = 0.8 * ref[2 * i] + 0.3 * prev_im + own_re;
    mix[2 * i + 1] = 0.8 * ref[2 * i + 1] - 0.3 * prev_re + own_im;
    if (i >= n - 1000) own_power += own_re * own_re + own_im * own_im;
  }
  cancel_FD_ICA(ica.get(), mix.data(), out.data(), ref.data(), n);
  double out_power = 0.0;
  for (int i = n - 1000; i < n; ++i)
    out_power += out[2 * i] * out[2 * i] + out[2 * i + 1] * out[2 * i + 1];
  EXPECT_LT(out_power, 2.0 * own_power);
  EXPECT_NEAR(ica->coef[0], 0.8, 0.05);
  EXPECT_NEAR(ica->coef[3], -0.3, 0.05);
}

}  // namespace
