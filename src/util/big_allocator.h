#pragma once
// An allocator for vectors of many megabytes that are filled once and kept (the columns of a
// whole log): memory from mmap, marked for transparent huge pages, so that filling it takes one
// page fault every 2 MiB instead of every 4 KiB. Smaller blocks come from operator new.

#include <sys/mman.h>

#include <cstddef>
#include <new>

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
    void* p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    ::madvise(p, bytes, MADV_HUGEPAGE);  // a hint: without it the pages are small
    return static_cast<T*>(p);
  }
  void deallocate(T* p, std::size_t n) {
    const std::size_t bytes = n * sizeof(T);
    if (bytes < kMapped)
      ::operator delete(p);
    else
      ::munmap(p, bytes);
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
