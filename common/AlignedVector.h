#ifndef VESK_COMMON_ALIGNEDVECTOR_H
#define VESK_COMMON_ALIGNEDVECTOR_H

#include <cstddef>
#include <new>
#include <vector>

namespace vesk_kernels {

// Storage on whole cache lines. Vector loads that straddle two lines cost
// twice, and a plain vector's storage starts wherever the heap puts it (16
// bytes apart), so how fast a per-frame loop ran depended on what had been
// allocated before it (by up to a third for the pattern matching's sums).
// Rounded up to whole lines, the storage also shares no line with any other
// allocation: what one thread writes on every frame never slows another
// thread's neighbouring data.
constexpr std::size_t kCacheLine = 64;

constexpr std::size_t WholeLines(std::size_t bytes) {
  return (bytes + kCacheLine - 1) / kCacheLine * kCacheLine;
}

template <typename T>
struct CacheLineAllocator {
  typedef T value_type;
  CacheLineAllocator() = default;
  template <typename U>
  CacheLineAllocator(const CacheLineAllocator<U>&) {}
  T* allocate(std::size_t n) {
    return static_cast<T*>(::operator new(WholeLines(n * sizeof(T)), std::align_val_t(kCacheLine)));
  }
  void deallocate(T* p, std::size_t) { ::operator delete(p, std::align_val_t(kCacheLine)); }
  template <typename U>
  bool operator==(const CacheLineAllocator<U>&) const {
    return true;
  }
  template <typename U>
  bool operator!=(const CacheLineAllocator<U>&) const {
    return false;
  }
};

template <typename T>
using AlignedVector = std::vector<T, CacheLineAllocator<T>>;

}  // namespace vesk_kernels

#endif
