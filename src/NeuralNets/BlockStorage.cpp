#include "NeuralNets/BlockStorage.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace BlockStorage {

void AdviseHugePages(void* data, std::size_t bytes) {
#if defined(MADV_HUGEPAGE)
  constexpr std::uintptr_t kHugePage = std::uintptr_t{1} << 21;
  const auto begin = reinterpret_cast<std::uintptr_t>(data);
  const std::uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
  const std::uintptr_t last = (begin + bytes) & ~(kHugePage - 1);
  if (bytes == 0 || last <= first) return;
  // Only advice: a system without huge pages simply keeps small ones.
  madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
  (void)data;
  (void)bytes;
#endif
}

}  // namespace BlockStorage
