#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "voice_cancel/SemiBlind.h"

namespace {

struct BlindDeleter {
  void operator()(SemiBlind* blind) const { delete_SemiBlind(blind, nullptr); }
};
using BlindPtr = std::unique_ptr<SemiBlind, BlindDeleter>;

BlindPtr make(int nfft, int taps_begin = 8, int taps_end = 5) {
  return BlindPtr(new_SemiBlind(nullptr, nfft, taps_begin, taps_end, 1, 1.0, 1.0, 0.01, 0.01, 0.01,
                                0.0, 0.0001));
}

// The bins of each tap count as [first, last] ranges.
struct Band {
  int taps, first, last;
};

void expectBands(const SemiBlind* blind, const std::vector<Band>& bands) {
  for (const Band& band : bands) {
    for (int k = band.first; k <= band.last; ++k) {
      ASSERT_EQ(blind->bins[k]->taps, band.taps) << "bin " << k << " of nfft " << blind->nfft;
    }
  }
}

TEST(SemiBlindTest, TapCountsFallLinearlyOverTheBins) {
  BlindPtr b512 = make(512);
  ASSERT_NE(b512, nullptr);
  EXPECT_EQ(b512->stored_taps, 6);
  expectBands(b512.get(), {{8, 0, 0}, {7, 1, 85}, {6, 86, 171}, {5, 172, 256}});
  BlindPtr b1024 = make(1024);
  ASSERT_NE(b1024, nullptr);
  expectBands(b1024.get(), {{8, 0, 0}, {7, 1, 171}, {6, 172, 342}, {5, 343, 512}});
  // Rising counts and the rounding of the stored count toward zero.
  BlindPtr rising = make(8, 1, 4);
  expectBands(rising.get(), {{1, 0, 1}, {2, 2, 3}, {3, 4, 4}});
  EXPECT_EQ(rising->stored_taps, 2);
  BlindPtr odd = make(6, 0, -1);  // bins 0..3 all get 0 taps; (0 - 1) / 2 is 0
  expectBands(odd.get(), {{0, 0, 3}});
  EXPECT_EQ(odd->stored_taps, 0);
}

TEST(SemiBlindTest, RejectsNegativeNfftAndBinsThatCannotBeBuilt) {
  EXPECT_EQ(make(-4), nullptr);
  EXPECT_EQ(make(64, -2, -2), nullptr);  // negative tap counts
}

// Runs separate_SemiBlind on nfft with marked output rows and returns the bins
// whose output row was written.
std::vector<int> writtenBins(int nfft) {
  BlindPtr blind = make(nfft);
  const int bins = nfft / 2 + 1;
  std::vector<std::vector<double>> mix(bins, {1.0, 2.0}), ref(bins, {1.0, 0.0}),
      out(bins, {-7.0, -7.0});
  std::vector<double*> mix_rows, ref_rows, out_rows;
  for (int k = 0; k < bins; ++k) {
    mix_rows.push_back(mix[k].data());
    ref_rows.push_back(ref[k].data());
    out_rows.push_back(out[k].data());
  }
  EXPECT_EQ(separate_SemiBlind(blind.get(), mix_rows.data(), out_rows.data(), ref_rows.data(), 1),
            0);
  std::vector<int> written;
  for (int k = 0; k < bins; ++k) {
    if (out[k][0] != -7.0) {
      EXPECT_EQ(out[k][0], 1.0);  // fresh filter: out is mix
      EXPECT_EQ(out[k][1], 2.0);
      EXPECT_EQ(blind->bins[k]->pos, 1);
      written.push_back(k);
    } else {
      EXPECT_EQ(blind->bins[k]->pos, 0);
    }
  }
  return written;
}

TEST(SemiBlindTest, SeparateRunsBinsFromTwoUp) {
  EXPECT_EQ(writtenBins(3), std::vector<int>{});
  EXPECT_EQ(writtenBins(4), std::vector<int>{2});
  EXPECT_EQ(writtenBins(9), (std::vector<int>{2, 3, 4}));
}

// A null canceller, row array or row that would be read is refused with -1
// and a message naming the function and the argument, before anything runs.
TEST(SemiBlindTest, NullPointersAreRefusedAndChangeNothing) {
  BlindPtr blind = make(8);  // bins 0 .. 4; bins 2 .. 4 are processed
  std::vector<std::vector<double>> mix(5, {1.0, 2.0}), ref(5, {1.0, 0.0}), out(5, {-7.0, -7.0});
  std::vector<double*> m, r, o;
  for (int k = 0; k < 5; ++k) {
    m.push_back(mix[k].data());
    r.push_back(ref[k].data());
    o.push_back(out[k].data());
  }
  o[3] = nullptr;
  testing::internal::CaptureStderr();
  EXPECT_EQ(separate_SemiBlind(nullptr, m.data(), o.data(), r.data(), 1), -1);
  EXPECT_EQ(separate_SemiBlind(blind.get(), nullptr, o.data(), r.data(), 1), -1);
  EXPECT_EQ(separate_SemiBlind(blind.get(), m.data(), o.data(), r.data(), 1), -1);
  EXPECT_EQ(cancel_FD_ICA(nullptr, m[2], o[2], r[2], 1), -1);
  EXPECT_EQ(cancel_FD_ICA(blind->bins[2], m[2], o[2], nullptr, 1), -1);
  const std::string messages = testing::internal::GetCapturedStderr();
  for (const char* expected :
       {"separate_SemiBlind: blind is null; expected a canceller from new_SemiBlind\n",
        "separate_SemiBlind: mix is null; expected 5 rows, one per bin\n",
        "separate_SemiBlind: row 3 of out is null; expected an array of 2 x count = 2 doubles\n",
        "cancel_FD_ICA: ica is null; expected a canceller from new_FD_ICA\n",
        "cancel_FD_ICA: ref is null; expected an array of 2 x count = 2 doubles\n"})
    EXPECT_NE(messages.find(expected), std::string::npos) << expected << " in\n" << messages;
  for (int k = 0; k < 5; ++k) {
    EXPECT_EQ(blind->bins[k]->pos, 0) << k;
    EXPECT_EQ(out[k][0], -7.0) << k;
  }

  // What is never read may be null: bins 0 and 1, and everything at count 0.
  o[3] = out[3].data();
  m[0] = r[1] = o[1] = nullptr;
  EXPECT_EQ(separate_SemiBlind(blind.get(), m.data(), o.data(), r.data(), 1), 0);
  EXPECT_EQ(blind->bins[4]->pos, 1);
  EXPECT_EQ(separate_SemiBlind(blind.get(), nullptr, nullptr, nullptr, 0), 0);
  EXPECT_EQ(cancel_FD_ICA(blind->bins[2], nullptr, nullptr, nullptr, 0), 0);
}

TEST(SemiBlindTest, DeleteAcceptsNull) {
  delete_SemiBlind(nullptr, nullptr);
  delete_FD_ICA(nullptr);
  SUCCEED();
}

TEST(Calloc2dimTest, RowsFollowTheTableInOneZeroedBlock) {
  auto** rows = static_cast<double**>(calloc2dim(sizeof(double), 5, 3));
  ASSERT_NE(rows, nullptr);
  auto* block = reinterpret_cast<char*>(rows);
  for (unsigned i = 0; i < 5; ++i) {
    EXPECT_EQ(reinterpret_cast<char*>(rows[i]), block + 5 * sizeof(void*) + i * 3 * sizeof(double));
    for (unsigned j = 0; j < 3; ++j) EXPECT_EQ(rows[i][j], 0.0);
  }
  rows[4][2] = 1.5;  // the last element is inside the block
  std::free(rows);

  void* empty = calloc2dim(8, 0, 4);
  EXPECT_NE(empty, nullptr);
  std::free(empty);
}

TEST(Calloc2dimTest, OverflowingSizesGiveNull) {
  EXPECT_EQ(calloc2dim(8, 1u << 31, 1u << 31), nullptr);  // rows x cols x size
  EXPECT_EQ(calloc2dim(0xffffffffu, 0xffffffffu, 0xffffffffu), nullptr);
  EXPECT_EQ(calloc2dim(1, 0xffffffffu, 0xffffffffu), nullptr);  // plus the pointer table
}

}  // namespace
