#pragma once
// An allocator for vectors of many megabytes that are filled once and kept (the columns of a
// whole log): memory mapped for huge pages (mapLargeBlock), so that filling it takes one page
// fault every 2 MiB instead of every 4 KiB. Smaller blocks come from operator new.

#include <cstddef>
#include <new>

#include "util/platform.h"

namespace orlo {

template <typename T>
struct BigAllocator {
  using value_type = T;
  static constexpr std::size_t kMapped = std::size_t{1} << 21;

  BigAllocator() = default;
  template <typename U>
  BigAllocator(const BigAllocator<U>&) {}  // NOLINT: rebinding, as allocators do

  T* allocate(std::size_t n) {
    const std::size_t bytes = n * sizeof(T);
    if (bytes < kMapped) return static_cast<T*>(::operator new(bytes));
    void* p = mapLargeBlock(bytes);
    if (p == nullptr) throw std::bad_alloc();
    return static_cast<T*>(p);
  }
  void deallocate(T* p, std::size_t n) {
    const std::size_t bytes = n * sizeof(T);
    if (bytes < kMapped)
      ::operator delete(p);
    else
      unmapLargeBlock(p, bytes);
  }
};

template <typename T, typename U>
bool operator==(const BigAllocator<T>&, const BigAllocator<U>&) {
  return true;
}
template <typename T, typename U>
bool operator!=(const BigAllocator<T>&, const BigAllocator<U>&) {
  return false;
}

}  // namespace orlo
