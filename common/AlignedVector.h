#ifndef VESK_COMMON_ALIGNEDVECTOR_H
#define VESK_COMMON_ALIGNEDVECTOR_H

#include <cstddef>
#include <new>
#include <vector>

namespace vesk_kernels {

// Vector loads that straddle two cache lines cost twice. A plain vector's
// storage starts wherever the heap puts it (16 bytes apart), so how fast the
// per-frame loops ran depended on what had been allocated before them, by up to
// a third for the pattern matching's sums; storage on whole cache lines makes
// them run at the same speed every time.
constexpr std::size_t kCacheLine = 64;

template <typename T>
struct CacheLineAllocator {
  typedef T value_type;
  CacheLineAllocator() = default;
  template <typename U>
  CacheLineAllocator(const CacheLineAllocator<U>&) {}
  T* allocate(std::size_t n) {
    return static_cast<T*>(::operator new(n * sizeof(T), std::align_val_t(kCacheLine)));
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
