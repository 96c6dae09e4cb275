// The tool's heap is prepared for huge pages: memory allocated afterwards in
// small pieces, as the tracker's histories are, lies mostly in advised memory.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "apps/vesk-beat/run/HugePageHeap.h"

namespace {

struct Mapping {
  std::uintptr_t begin = 0;
  std::uintptr_t end = 0;
  bool advised = false;  // "hg" among its VmFlags
};

std::vector<Mapping> Mappings() {
  std::ifstream smaps("/proc/self/smaps");
  std::vector<Mapping> all;
  std::string line;
  while (std::getline(smaps, line)) {
    std::uintptr_t begin = 0, end = 0;
    char dash = 0;
    std::istringstream head(line);
    if (head >> std::hex >> begin >> dash >> end && dash == '-' && line.find(':') > 8) {
      all.push_back({begin, end, false});
    } else if (!all.empty() && line.rfind("VmFlags:", 0) == 0) {
      all.back().advised = line.find(" hg") != std::string::npos;
    }
  }
  return all;
}

bool InAdvisedMemory(const std::vector<Mapping>& mappings, const void* p) {
  const auto a = reinterpret_cast<std::uintptr_t>(p);
  for (const Mapping& m : mappings)
    if (a >= m.begin && a < m.end) return m.advised;
  return false;
}

}  // namespace

TEST(HugePageHeap, WithoutTheAdviceNoRowIsAdvised) {
  // The control: the same rows on an unprepared heap (CTest runs every test
  // in a process of its own).
  std::vector<std::vector<double>> rows(4000, std::vector<double>(256, 1.0));
  const std::vector<Mapping> mappings = Mappings();
  std::size_t advised = 0;
  for (const auto& row : rows) advised += InAdvisedMemory(mappings, row.data()) ? 1 : 0;
  EXPECT_EQ(advised, 0u);
}

TEST(HugePageHeap, LaterSmallAllocationsLieMostlyInAdvisedMemory) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer's allocator keeps no heap of its own to advise";
#endif
  vesk_beat::adviseHugePageHeap(16u << 20);
  // 8 MiB of 2 KiB rows; only the part of the heap below its first 2 MiB
  // boundary (at most 2 MiB) can lie outside the advice.
  std::vector<std::vector<double>> rows(4000, std::vector<double>(256, 1.0));
  const std::vector<Mapping> mappings = Mappings();
  std::size_t advised = 0;
  for (const auto& row : rows) advised += InAdvisedMemory(mappings, row.data()) ? 1 : 0;
  EXPECT_GE(advised, rows.size() * 7 / 10) << advised << " of " << rows.size() << " rows";
}
