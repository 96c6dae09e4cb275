#include <fcntl.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "voice_cancel/SemiBlind.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace {

using Bytes = std::vector<unsigned char>;

SemiBlind* create(FILE* file, int nfft, int taps_begin, int taps_end, double mean_rate = 0.1) {
  return new_SemiBlind(file, nfft, taps_begin, taps_end, 1, 1.0, 1.0, 0.01, 0.01, 0.01, mean_rate,
                       0.0001);
}

// Feeds every bin `count` samples of a varied signal.
void run(SemiBlind* blind, int count) {
  const int bins = blind->nfft / 2 + 1;
  std::vector<std::vector<double>> mix(bins), ref(bins), out(bins);
  std::vector<double*> mix_rows, ref_rows, out_rows;
  for (int k = 0; k < bins; ++k) {
    for (int i = 0; i < 2 * count; ++i) {
      ref[k].push_back(std::sin(0.3 * i + k));
      mix[k].push_back(0.7 * ref[k].back() + 0.2 * std::cos(1.7 * i * (k + 1)));
    }
    out[k].resize(2 * count);
    mix_rows.push_back(mix[k].data());
    ref_rows.push_back(ref[k].data());
    out_rows.push_back(out[k].data());
  }
  separate_SemiBlind(blind, mix_rows.data(), out_rows.data(), ref_rows.data(), count);
}

Bytes saved(SemiBlind* blind) {
  FILE* file = std::tmpfile();
  delete_SemiBlind(blind, file);
  Bytes bytes(static_cast<std::size_t>(std::ftell(file)));
  std::rewind(file);
  EXPECT_EQ(std::fread(bytes.data(), 1, bytes.size(), file), bytes.size());
  std::fclose(file);
  return bytes;
}

FILE* fileWith(const Bytes& bytes) {
  FILE* file = std::tmpfile();
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::rewind(file);
  return file;
}

template <typename T>
void append(Bytes& bytes, T value) {
  const auto* raw = reinterpret_cast<const unsigned char*>(&value);
  bytes.insert(bytes.end(), raw, raw + sizeof value);
}

template <typename T>
T readAt(const Bytes& bytes, std::size_t offset) {
  T value;
  std::memcpy(&value, bytes.data() + offset, sizeof value);
  return value;
}

bool isOpen(int fd) {
  return fcntl(fd, F_GETFD) != -1;
}

struct Snapshot {
  std::vector<double> error_scale, ref_scale;
  std::vector<std::vector<double>> coef;
};

Snapshot snapshot(const SemiBlind* blind) {
  Snapshot s;
  for (int k = 0; k <= blind->nfft / 2; ++k) {
    const FD_ICA* ica = blind->bins[k];
    s.error_scale.push_back(ica->error_scale);
    s.ref_scale.push_back(ica->ref_scale);
    s.coef.emplace_back(ica->coef, ica->coef + 2 * ica->taps);
  }
  return s;
}

void expectFresh(const FD_ICA* ica, int ring) {
  EXPECT_EQ(ica->pos, 0);
  EXPECT_EQ(ica->error_mean[0], 0.0);
  EXPECT_EQ(ica->error_mean[1], 0.0);
  EXPECT_EQ(ica->ref_mean[0], 0.0);
  EXPECT_EQ(ica->ref_mean[1], 0.0);
  for (int i = 0; i < 2 * ring; ++i) {
    EXPECT_EQ(ica->ref_history[i], 0.0);
    EXPECT_EQ(ica->scaled_ref_history[i], 0.0);
  }
}

TEST(SemiBlindStateTest, SaveThenLoadRestoresScalesAndCoefficients) {
  SemiBlind* blind = create(nullptr, 16, 4, 4);
  run(blind, 50);
  const Snapshot before = snapshot(blind);
  ASSERT_NE(before.coef[5][0], 0.0);
  ASSERT_NE(blind->bins[5]->ref_mean[0], 0.0);

  FILE* file = std::tmpfile();
  delete_SemiBlind(blind, file);
  EXPECT_EQ(std::ftell(file), 8 + 9 * (16 + 4 * 16));
  std::rewind(file);
  const int fd = fileno(file);
  testing::internal::CaptureStdout();
  SemiBlind* loaded = create(file, 16, 4, 4);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "16 4 4\n");
  ASSERT_NE(loaded, nullptr);
  EXPECT_FALSE(isOpen(fd)) << "a successful load closes the file";

  const Snapshot after = snapshot(loaded);
  EXPECT_EQ(after.error_scale, before.error_scale);
  EXPECT_EQ(after.ref_scale, before.ref_scale);
  EXPECT_EQ(after.coef, before.coef);
  for (int k = 0; k <= 8; ++k) expectFresh(loaded->bins[k], 4);
  delete_SemiBlind(loaded, nullptr);
}

TEST(SemiBlindStateTest, SavePadsShortBinsAndLoadTakesWhatEachBinHolds) {
  // nfft 16 with 8 -> 5 taps: bin 0 has 8, bins 1-2 have 7, 3-5 have 6, 6-8 have 5;
  // a record holds K = 6 coefficients.
  SemiBlind* blind = create(nullptr, 16, 8, 5);
  run(blind, 40);
  const Snapshot before = snapshot(blind);
  const Bytes bytes = saved(blind);
  const std::size_t record = 16 + 6 * 16;
  ASSERT_EQ(bytes.size(), 8 + 9 * record);
  EXPECT_EQ(readAt<int>(bytes, 0), 16);
  EXPECT_EQ(readAt<int>(bytes, 4), 6);
  for (int k = 0; k <= 8; ++k) {
    const std::size_t at = 8 + k * record;
    EXPECT_EQ(readAt<double>(bytes, at), before.error_scale[k]);
    EXPECT_EQ(readAt<double>(bytes, at + 8), before.ref_scale[k]);
    const int taps = static_cast<int>(before.coef[k].size() / 2);
    for (int j = 0; j < 6; ++j) {
      const double re = readAt<double>(bytes, at + 16 + 16 * j);
      const double im = readAt<double>(bytes, at + 24 + 16 * j);
      EXPECT_EQ(re, j < taps ? before.coef[k][2 * j] : 0.0) << "bin " << k << " tap " << j;
      EXPECT_EQ(im, j < taps ? before.coef[k][2 * j + 1] : 0.0) << "bin " << k << " tap " << j;
    }
  }

  // m = min(6, 5): every bin takes its first 5 coefficients; the sixth of each
  // record is read past.
  FILE* file = fileWith(bytes);
  testing::internal::CaptureStdout();
  SemiBlind* loaded = create(file, 16, 8, 5);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "16 5 5\n");
  ASSERT_NE(loaded, nullptr);
  const Snapshot after = snapshot(loaded);
  EXPECT_EQ(after.error_scale, before.error_scale);
  EXPECT_EQ(after.ref_scale, before.ref_scale);
  for (int k = 0; k <= 8; ++k) {
    for (std::size_t i = 0; i < after.coef[k].size(); ++i) {
      EXPECT_EQ(after.coef[k][i], i < 10 ? before.coef[k][i] : 0.0) << "bin " << k << " " << i;
    }
  }
  delete_SemiBlind(loaded, nullptr);
}

// A file for nfft 8 with `stored` coefficients per record; bin k's scales are
// k + 0.25 and k + 0.5 and its coefficient j is (100k + j, -(100k + j)).
Bytes handMade(int stored) {
  Bytes bytes;
  append(bytes, 8);
  append(bytes, stored);
  for (int k = 0; k <= 4; ++k) {
    append(bytes, k + 0.25);
    append(bytes, k + 0.5);
    for (int j = 0; j < stored; ++j) {
      append(bytes, 100.0 * k + j);
      append(bytes, -(100.0 * k + j));
    }
  }
  return bytes;
}

void expectLoaded(const SemiBlind* blind, int m) {
  for (int k = 0; k <= 4; ++k) {
    const FD_ICA* ica = blind->bins[k];
    EXPECT_EQ(ica->error_scale, k + 0.25) << "bin " << k;
    EXPECT_EQ(ica->ref_scale, k + 0.5) << "bin " << k;
    for (int j = 0; j < ica->taps; ++j) {
      const double expected = j < m ? 100.0 * k + j : 0.0;
      EXPECT_EQ(ica->coef[2 * j], expected) << "bin " << k << " tap " << j;
      EXPECT_EQ(ica->coef[2 * j + 1], -expected) << "bin " << k << " tap " << j;
    }
  }
}

TEST(SemiBlindStateTest, LoadKeepsRecordsAlignedWhateverTheirLength) {
  // nfft 8 with 2 -> 6 taps: bins have 2, 2, 3, 4 and 5 taps.
  struct Case {
    int stored, m;
    const char* line;
  };
  for (Case c : {Case{7, 5, "8 5 5\n"}, Case{5, 5, "8 5 5\n"}, Case{3, 3, "8 3 5\n"},
                 Case{0, 0, "8 0 5\n"}}) {
    FILE* file = fileWith(handMade(c.stored));
    testing::internal::CaptureStdout();
    SemiBlind* loaded = create(file, 8, 2, 6);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.line);
    ASSERT_NE(loaded, nullptr) << "K " << c.stored;
    ASSERT_EQ(loaded->bins[0]->taps, 2);
    ASSERT_EQ(loaded->bins[4]->taps, 5);
    expectLoaded(loaded, c.m);
    delete_SemiBlind(loaded, nullptr);
  }
}

// Under the leak sanitizer, whether anything unreachable was left behind;
// elsewhere the sanitizer build is what catches leaks.
bool leaked() {
#if defined(__SANITIZE_ADDRESS__)
  return __lsan_do_recoverable_leak_check() != 0;
#else
  return false;
#endif
}

TEST(SemiBlindStateTest, AnotherNfftIsRefusedAndNothingLeaks) {
  const Bytes bytes = saved(create(nullptr, 16, 8, 5));
  FILE* file = fileWith(bytes);
  const int fd = fileno(file);
  testing::internal::CaptureStdout();
  SemiBlind* blind = create(file, 32, 8, 5);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "mismatch of nfft.\n");
  EXPECT_EQ(blind, nullptr);
  EXPECT_TRUE(isOpen(fd)) << "the file stays the caller's";
  EXPECT_FALSE(leaked());
  EXPECT_EQ(std::ftell(file), 4);
  std::fclose(file);
}

TEST(SemiBlindStateTest, FileThatEndsEarlyIsRefused) {
  const Bytes whole = saved(create(nullptr, 8, 8, 5));
  ASSERT_EQ(whole.size(), 8u + 5 * (16 + 6 * 16));
  for (std::size_t length = 0; length < whole.size(); ++length) {
    FILE* file = fileWith(Bytes(whole.begin(), whole.begin() + length));
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    SemiBlind* blind = create(file, 8, 8, 5);
    testing::internal::GetCapturedStdout();
    const std::string error = testing::internal::GetCapturedStderr();
    EXPECT_EQ(blind, nullptr) << "length " << length;
    EXPECT_NE(error.find("state file ends"), std::string::npos) << error;
    if (length < 4) {
      EXPECT_NE(error.find("nfft"), std::string::npos) << error;
    }
    if (length == whole.size() - 1) {
      EXPECT_NE(error.find("bin 4"), std::string::npos) << error;
    }
    std::fclose(file);  // still open, still the caller's
  }
  EXPECT_FALSE(leaked());
  testing::internal::CaptureStdout();
  SemiBlind* blind = create(fileWith(whole), 8, 8, 5);
  testing::internal::GetCapturedStdout();
  EXPECT_NE(blind, nullptr);
  delete_SemiBlind(blind, nullptr);
}

TEST(SemiBlindStateTest, NegativeCoefficientCountIsRefused) {
  Bytes bytes = handMade(2);
  std::memcpy(bytes.data() + 4, "\xff\xff\xff\xff", 4);  // K = -1
  FILE* file = fileWith(bytes);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  SemiBlind* blind = create(file, 8, 2, 6);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  const std::string error = testing::internal::GetCapturedStderr();
  EXPECT_EQ(blind, nullptr);
  EXPECT_NE(error.find("coefficient count -1"), std::string::npos) << error;
  EXPECT_FALSE(leaked());
  std::fclose(file);
}

}  // namespace
