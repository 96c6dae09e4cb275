#include "apps/vesk-beat/run/HugePageHeap.h"

#include <malloc.h>
#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

namespace vesk_beat {

void adviseHugePageHeap(std::size_t bytes) {
  constexpr std::size_t kHugePage = 2u << 20;
  if (bytes < 2 * kHugePage) return;
  // A block this large would be mapped on its own and unmapped when freed
  // (the allocator takes up to 32 MiB from the heap when asked to);
  // taken from the heap and freed, it stays at the heap's top, where the
  // next allocations are carved from. The heap keeps it: memory is given back
  // only when more than twice as much is free at the top.
  const int default_threshold = 128 * 1024;
  if (mallopt(M_MMAP_THRESHOLD, static_cast<int>(bytes + kHugePage)) != 1) return;
  mallopt(M_TRIM_THRESHOLD, static_cast<int>(2 * bytes));
  char* block = static_cast<char*>(std::malloc(bytes));
  if (block) {
    const std::uintptr_t start =
        (reinterpret_cast<std::uintptr_t>(block) + kHugePage - 1) & ~std::uintptr_t(kHugePage - 1);
    const std::uintptr_t end =
        (reinterpret_cast<std::uintptr_t>(block) + bytes) & ~std::uintptr_t(kHugePage - 1);
    if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
    std::free(block);
  }
  // Large blocks are mapped on their own again, as usual.
  mallopt(M_MMAP_THRESHOLD, default_threshold);
}

}  // namespace vesk_beat
