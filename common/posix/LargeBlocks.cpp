// Large-page hint on Linux: transparent huge pages for the aligned interior.
#include "LargeBlocks.h"

#include <sys/mman.h>

#include <cstdint>

void AdviseLargeBlock(void* block, size_t size) {
#ifdef MADV_HUGEPAGE
  constexpr uintptr_t kLargePage = uintptr_t{2} << 20;
  uintptr_t start = (reinterpret_cast<uintptr_t>(block) + kLargePage - 1) & ~(kLargePage - 1);
  uintptr_t end = (reinterpret_cast<uintptr_t>(block) + size) & ~(kLargePage - 1);
  if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#else
  (void)block;
  (void)size;
#endif
}
