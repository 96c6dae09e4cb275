// Fuzzes the canceller's state-file loader: new_SemiBlind reads arbitrary
// bytes as a saved state. The first two bytes pick the canceller's shape (nfft,
// tap counts, stride), the rest is the file.
//
// What must hold: no crash or sanitizer report, the file is closed on success
// and left to the caller on failure, and a loaded state saved again and loaded
// once more saves to the very same bytes.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "voice_cancel/SemiBlind.h"

namespace {

struct Shape {
  int nfft;
  int taps_begin;
  int taps_end;
  int stride;
};

Shape PickShape(std::uint8_t a, std::uint8_t b) {
  static const int kNfft[] = {0, 1, 2, 3, 4, 8, 16, 64};
  Shape s;
  s.nfft = kNfft[a & 7];
  s.stride = 1 + ((a >> 3) & 3);
  // Tap counts from -2 to 13: negative and zero counts are bad shapes too.
  s.taps_begin = (b & 15) - 2;
  s.taps_end = (b >> 4) - 2;
  return s;
}

SemiBlind* Load(FILE* file, const Shape& s) {
  return new_SemiBlind(file, s.nfft, s.taps_begin, s.taps_end, s.stride, 1.0, 1.0, 0.01, 0.01, 0.01,
                       0.001, 1e-6);
}

// Opens n bytes as a read-only stream (fmemopen refuses an empty buffer).
FILE* OpenBytes(const std::uint8_t* data, std::size_t n, std::vector<std::uint8_t>& keep) {
  if (n == 0) return std::fopen("/dev/null", "rb");
  keep.assign(data, data + n);
  return fmemopen(keep.data(), keep.size(), "rb");
}

// Saves a state through delete_SemiBlind and returns the bytes.
std::vector<std::uint8_t> SaveAndDelete(SemiBlind* blind) {
  char* buffer = nullptr;
  std::size_t length = 0;
  FILE* out = open_memstream(&buffer, &length);
  if (out == nullptr) std::abort();
  delete_SemiBlind(blind, out);
  std::fclose(out);
  std::vector<std::uint8_t> bytes(buffer, buffer + length);
  std::free(buffer);
  return bytes;
}

// Loads a state saved by delete_SemiBlind, which must succeed.
SemiBlind* LoadBytes(std::vector<std::uint8_t>& bytes, const Shape& s) {
  FILE* file = fmemopen(bytes.data(), bytes.size(), "rb");
  if (file == nullptr) std::abort();
  SemiBlind* blind = Load(file, s);
  if (blind == nullptr) {
    std::fprintf(stderr, "a state saved by delete_SemiBlind did not load again\n");
    std::abort();
  }
  return blind;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The loader reports on standard output and standard error; keep the fuzzer's own log readable.
  if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const Shape shape = PickShape(data[0], data[1]);
  std::vector<std::uint8_t> bytes;
  FILE* file = OpenBytes(data + 2, size - 2, bytes);
  if (file == nullptr) std::abort();
  SemiBlind* blind = Load(file, shape);
  if (blind == nullptr) {
    std::fclose(file);  // a failed load leaves the file to its caller
    return 0;
  }
  // Loaded: new_SemiBlind closed the file. A saved state must load into the
  // same shape and save unchanged.
  std::vector<std::uint8_t> first = SaveAndDelete(blind);
  SemiBlind* reloaded = LoadBytes(first, shape);
  std::vector<std::uint8_t> second = SaveAndDelete(reloaded);
  if (first != second) {
    std::fprintf(stderr, "a reloaded state saved to other bytes (%zu and %zu bytes)\n",
                 first.size(), second.size());
    std::abort();
  }

  // And the loaded state must be usable: adapt a little on a fixed signal.
  SemiBlind* used = LoadBytes(first, shape);
  const int bins = shape.nfft / 2 + 1;
  const int count = 3;
  std::vector<double> samples(static_cast<std::size_t>(bins) * count * 2);
  for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = 0.25 * static_cast<double>(i % 7);
  std::vector<double> cleaned(samples.size());
  std::vector<double*> mix(bins), out(bins), ref(bins);
  for (int k = 0; k < bins; ++k) {
    mix[k] = ref[k] = samples.data() + static_cast<std::size_t>(k) * count * 2;
    out[k] = cleaned.data() + static_cast<std::size_t>(k) * count * 2;
  }
  separate_SemiBlind(used, mix.data(), out.data(), ref.data(), count);
  SaveAndDelete(used);
  return 0;
}
