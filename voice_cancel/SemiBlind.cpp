#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "voice_cancel/SemiBlind.h"

namespace {

int binCount(const SemiBlind* blind) {
  return blind->nfft / 2 + 1;
}

void freeSemiBlind(SemiBlind* blind) {
  if (blind == nullptr) return;
  if (blind->bins != nullptr) {
    for (int k = 0; k < binCount(blind); ++k) delete_FD_ICA(blind->bins[k]);
  }
  std::free(blind->bins);
  std::free(blind);
}

bool readValue(FILE* file, void* value, std::size_t size) {
  return std::fread(value, size, 1, file) == 1;
}

bool writeValue(FILE* file, const void* value, std::size_t size) {
  return std::fwrite(value, size, 1, file) == 1;
}

// Loads the scales and coefficients saved by saveState. Every record holds K
// coefficients; a bin takes as many of the first m as it has taps, and the
// rest of the record is read past so that the next record stays aligned.
bool loadState(SemiBlind* blind, FILE* file, int nfft) {
  int file_nfft = 0;
  if (!readValue(file, &file_nfft, sizeof file_nfft)) {
    std::fprintf(stderr, "new_SemiBlind: state file ends before its nfft\n");
    return false;
  }
  if (file_nfft != nfft) {
    std::printf("mismatch of nfft.\n");
    std::fflush(stdout);
    return false;
  }
  int stored = 0;
  if (!readValue(file, &stored, sizeof stored)) {
    std::fprintf(stderr, "new_SemiBlind: state file ends before its coefficient count\n");
    return false;
  }
  if (stored < 0) {
    std::fprintf(stderr, "new_SemiBlind: state file has coefficient count %d; expected 0 or more\n",
                 stored);
    return false;
  }
  const int bins = binCount(blind);
  const int last_taps = blind->bins[bins - 1]->taps;
  const int m = std::min(stored, last_taps);
  std::printf("%d %d %d\n", file_nfft, m, last_taps);
  std::fflush(stdout);

  for (int k = 0; k < bins; ++k) {
    FD_ICA* ica = blind->bins[k];
    double scales[2];
    if (!readValue(file, scales, sizeof scales)) {
      std::fprintf(stderr, "new_SemiBlind: state file ends in the scales of bin %d\n", k);
      return false;
    }
    const int kept = std::min(m, ica->taps);
    for (int j = 0; j < stored; ++j) {
      double coefficient[2];
      if (!readValue(file, coefficient, sizeof coefficient)) {
        std::fprintf(stderr, "new_SemiBlind: state file ends in coefficient %d of bin %d\n", j, k);
        return false;
      }
      if (j < kept) {
        ica->coef[2 * j] = coefficient[0];
        ica->coef[2 * j + 1] = coefficient[1];
      }
    }
    ica->error_scale = scales[0];
    ica->ref_scale = scales[1];
  }
  return true;
}

// Writes nfft, K and per bin both scales and K coefficients; a bin with fewer
// taps than K is padded with zero coefficients.
bool saveState(const SemiBlind* blind, FILE* file) {
  const int stored = std::max(blind->stored_taps, 0);
  bool ok = writeValue(file, &blind->nfft, sizeof blind->nfft) &&
            writeValue(file, &stored, sizeof stored);
  const double zero[2] = {0.0, 0.0};
  for (int k = 0; ok && k < binCount(blind); ++k) {
    const FD_ICA* ica = blind->bins[k];
    ok = writeValue(file, &ica->error_scale, sizeof ica->error_scale) &&
         writeValue(file, &ica->ref_scale, sizeof ica->ref_scale);
    for (int j = 0; ok && j < stored; ++j) {
      ok = writeValue(file, j < ica->taps ? ica->coef + 2 * j : zero, sizeof zero);
    }
  }
  return ok;
}

// True, with a message, when the row array or one of the rows that
// separate_SemiBlind reads (2 .. last) is null.
bool nullRows(double** rows, const char* name, int last, int count) {
  if (rows == nullptr) {
    std::fprintf(stderr, "separate_SemiBlind: %s is null; expected %d rows, one per bin\n", name,
                 last + 1);
    return true;
  }
  for (int k = 2; k <= last; ++k) {
    if (rows[k] == nullptr) {
      std::fprintf(stderr,
                   "separate_SemiBlind: row %d of %s is null; expected an array of 2 x count = "
                   "%lld doubles\n",
                   k, name, 2LL * count);
      return true;
    }
  }
  return false;
}

}  // namespace

extern "C" SemiBlind* new_SemiBlind(FILE* file, int nfft, int taps_begin, int taps_end, int stride,
                                    double error_scale, double ref_scale, double mu,
                                    double error_scale_step, double ref_scale_step,
                                    double mean_rate, double power_floor) {
  if (nfft < 0) {
    std::fprintf(stderr, "new_SemiBlind: nfft %d is negative; expected 0 or more\n", nfft);
    return nullptr;
  }
  auto* blind = static_cast<SemiBlind*>(std::calloc(1, sizeof(SemiBlind)));
  if (blind == nullptr) return nullptr;
  blind->nfft = nfft;
  blind->stored_taps = static_cast<int>((static_cast<std::int64_t>(taps_begin) + taps_end) / 2);
  const int bins = binCount(blind);
  blind->bins = static_cast<FD_ICA**>(std::calloc(bins, sizeof(FD_ICA*)));
  if (blind->bins == nullptr) {
    std::free(blind);
    return nullptr;
  }
  // The tap count moves linearly from taps_begin at bin 0 toward taps_end.
  const double span = static_cast<double>(taps_end) - static_cast<double>(taps_begin);
  for (int k = 0; k < bins; ++k) {
    const int taps = static_cast<int>(k * span / bins + taps_begin);
    blind->bins[k] = new_FD_ICA(taps, stride, error_scale, ref_scale, mu, error_scale_step,
                                ref_scale_step, mean_rate, power_floor);
    if (blind->bins[k] == nullptr) {
      std::fprintf(stderr, "new_SemiBlind: cannot create the canceller of bin %d\n", k);
      freeSemiBlind(blind);
      return nullptr;
    }
  }
  if (file != nullptr) {
    // On failure the file stays open: it is still the caller's.
    if (!loadState(blind, file, nfft)) {
      freeSemiBlind(blind);
      return nullptr;
    }
    std::fclose(file);
  }
  return blind;
}

extern "C" int separate_SemiBlind(SemiBlind* blind, double** mix, double** out, double** ref,
                                  int count) {
  if (blind == nullptr) {
    std::fprintf(stderr,
                 "separate_SemiBlind: blind is null; expected a canceller from "
                 "new_SemiBlind\n");
    return -1;
  }
  if (count <= 0) return 0;  // no sample: the rows are not even looked at
  // Every row is checked before any bin runs, so a refused call changes nothing.
  const int last = blind->nfft / 2;
  if (last >= 2 && (nullRows(mix, "mix", last, count) || nullRows(out, "out", last, count) ||
                    nullRows(ref, "ref", last, count))) {
    return -1;
  }
  for (int k = 2; k <= blind->nfft / 2; ++k) {
    cancel_FD_ICA(blind->bins[k], mix[k], out[k], ref[k], count);
  }
  return 0;
}

extern "C" void delete_SemiBlind(SemiBlind* blind, FILE* file) {
  if (blind == nullptr) return;
  if (file != nullptr && !saveState(blind, file)) {
    std::fprintf(stderr, "delete_SemiBlind: writing the state file failed\n");
  }
  freeSemiBlind(blind);
}
