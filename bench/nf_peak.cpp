// The compute bound of the kernels: how many multiply-adds per second one
// core does when every multiply and every add is a separate instruction, as
// in all of Netforge's kernels (no fused multiply-add, which would round
// differently on processors without it). Sixteen independent sums, each
// adding a fresh product every step, with nothing read from memory, in the
// widest vector unit the processor has (AVX-512, AVX2 or SSE2). No kernel
// that multiplies and adds can beat this figure on this core; a batch of
// work of M multiply-adds needs at least M / figure seconds.
//
// Usage: nf_peak STEPS (millions of steps of sixteen vector multiply-adds)
// Prints the seconds of processor time, the multiply-adds per second (in
// doubles) and the vector unit measured.
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include <immintrin.h>

namespace {

double ProcessSeconds() {
  timespec now;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

constexpr int kSums = 16;

// One body for every width: V is the register type, Lanes its doubles.
// The empty asm makes |factor| opaque at every step, so the products are
// computed anew each time rather than hoisted out of the loop.
#define NF_PEAK_BODY(V, SET1, MUL, ADD, STORE, Lanes)                  \
  V sums[kSums];                                                       \
  V inputs[kSums];                                                     \
  for (int k = 0; k < kSums; ++k) {                                    \
    sums[k] = SET1(0.0);                                               \
    inputs[k] = SET1(1.0 + k * 1e-3);                                  \
  }                                                                    \
  V factor = SET1(1e-9);                                               \
  for (long step = 0; step < steps; ++step) {                          \
    asm volatile("" : "+x"(factor));                                   \
    for (int k = 0; k < kSums; ++k) sums[k] = ADD(sums[k], MUL(inputs[k], factor)); \
  }                                                                    \
  double lanes[Lanes];                                                 \
  for (int k = 1; k < kSums; ++k) sums[0] = ADD(sums[0], sums[k]);     \
  STORE(lanes, sums[0]);                                               \
  double total = 0.0;                                                  \
  for (double lane : lanes) total += lane;                             \
  return total;

__attribute__((target("avx512f"))) double RunAvx512(long steps) {
  NF_PEAK_BODY(__m512d, _mm512_set1_pd, _mm512_mul_pd, _mm512_add_pd, _mm512_storeu_pd, 8)
}

__attribute__((target("avx2"))) double RunAvx2(long steps) {
  NF_PEAK_BODY(__m256d, _mm256_set1_pd, _mm256_mul_pd, _mm256_add_pd, _mm256_storeu_pd, 4)
}

double RunSse2(long steps) { NF_PEAK_BODY(__m128d, _mm_set1_pd, _mm_mul_pd, _mm_add_pd, _mm_storeu_pd, 2) }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || std::atol(argv[1]) < 1) {
    std::fprintf(stderr, "usage: nf_peak STEPS (millions)\n");
    return 2;
  }
  const long steps = std::atol(argv[1]) * 1000000L;
  int lanes = 2;
  const char* unit = "SSE2";
  double (*run)(long) = RunSse2;
  if (__builtin_cpu_supports("avx512f")) {
    lanes = 8, unit = "AVX-512", run = RunAvx512;
  } else if (__builtin_cpu_supports("avx2")) {
    lanes = 4, unit = "AVX2", run = RunAvx2;
  }
  const double start = ProcessSeconds();
  const double checksum = run(steps);
  const double seconds = ProcessSeconds() - start;
  const double multiplyAdds = static_cast<double>(steps) * kSums * lanes;
  std::printf("%.6f %.0f %s %g\n", seconds, multiplyAdds / seconds, unit, checksum);
  return 0;
}
