// The vector units of x86-64 that the library's numeric kernels can use,
// and which of them the processor running the program has.
//
// One binary runs on every x86-64: SSE2 is the baseline, AVX2 and AVX-512
// are used only where the processor has them, chosen at run time. Every
// kernel gives the same bits whichever unit runs it, so the choice changes
// speed only.
//
// Internal to the library (not installed). Thread-safe.
#ifndef NETFORGE_COMMON_SIMDISA_H
#define NETFORGE_COMMON_SIMDISA_H

namespace Netforge {

// kPlain is plain C++ without vector instructions, the reference the others
// are held to.
enum class SimdIsa { kPlain, kSse2, kAvx2, kAvx512 };

// Whether this build and this processor can run |isa|.
bool SimdSupported(SimdIsa isa);

// The widest supported unit: the one kernels use unless told otherwise.
SimdIsa BestSimdIsa();

}  // namespace Netforge

#endif  // NETFORGE_COMMON_SIMDISA_H
