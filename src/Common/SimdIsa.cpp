#include "Common/SimdIsa.h"

namespace Netforge {

bool SimdSupported(SimdIsa isa) {
  switch (isa) {
    case SimdIsa::kPlain:
      return true;
    case SimdIsa::kSse2:
#if defined(__SSE2__)
      return true;
#else
      return false;
#endif
    case SimdIsa::kAvx2:
#if defined(__SSE2__) && (defined(__GNUC__) || defined(__clang__))
      return __builtin_cpu_supports("avx2");
#else
      return false;
#endif
    case SimdIsa::kAvx512:
#if defined(__SSE2__) && (defined(__GNUC__) || defined(__clang__))
      return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("avx512f");
#else
      return false;
#endif
  }
  return false;
}

SimdIsa BestSimdIsa() {
  static const SimdIsa best = SimdSupported(SimdIsa::kAvx512) ? SimdIsa::kAvx512
                              : SimdSupported(SimdIsa::kAvx2) ? SimdIsa::kAvx2
                              : SimdSupported(SimdIsa::kSse2) ? SimdIsa::kSse2
                                                              : SimdIsa::kPlain;
  return best;
}

}  // namespace Netforge
