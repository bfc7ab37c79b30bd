// For the tests that force each vector unit in turn and hold it to the
// plain code bit for bit: which units this build and processor can run, and
// their names for test output.
#ifndef NETFORGE_TESTS_SUPPORT_SIMDTESTSUPPORT_H
#define NETFORGE_TESTS_SUPPORT_SIMDTESTSUPPORT_H

#include <vector>

#include "Common/SimdIsa.h"

namespace TestSupport {

// Every vector unit this build and processor can run, the plain code first.
inline std::vector<Netforge::SimdIsa> SupportedIsas() {
  std::vector<Netforge::SimdIsa> all;
  for (auto isa : {Netforge::SimdIsa::kPlain, Netforge::SimdIsa::kSse2, Netforge::SimdIsa::kAvx2,
                   Netforge::SimdIsa::kAvx512}) {
    if (Netforge::SimdSupported(isa)) all.push_back(isa);
  }
  return all;
}

inline const char* IsaName(Netforge::SimdIsa isa) {
  switch (isa) {
    case Netforge::SimdIsa::kPlain:
      return "plain";
    case Netforge::SimdIsa::kSse2:
      return "SSE2";
    case Netforge::SimdIsa::kAvx2:
      return "AVX2";
    case Netforge::SimdIsa::kAvx512:
      return "AVX-512";
  }
  return "?";
}

}  // namespace TestSupport

#endif  // NETFORGE_TESTS_SUPPORT_SIMDTESTSUPPORT_H
