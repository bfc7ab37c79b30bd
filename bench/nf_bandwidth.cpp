// The memory-bandwidth bound of one-row recall: reads a buffer as large as
// the weights (and flag bytes) of the network PASSES times, the way recall
// streams them, with no arithmetic to wait for, and prints the seconds of
// processor time and the bytes read per second. Recall of one row cannot
// read its matrices faster, so bytes per second divided by the bytes per
// connection (8 for a weight, 9 with a flag byte) bounds its multiply-adds
// per second.
//
// Usage: nf_bandwidth MEGABYTES PASSES
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace {

double ProcessSeconds() {
  timespec now;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

#if defined(__SSE2__) && (defined(__GNUC__) || defined(__clang__))
// With 32-byte loads where the processor has them, so that the width of the
// loads cannot be what bounds the figure.
__attribute__((target("avx2"))) std::uint64_t ReadAllAvx2(const std::vector<std::uint64_t>& buffer) {
  const std::size_t n = buffer.size() - buffer.size() % 32;
  const std::uint64_t* data = buffer.data();
  __m256i sums[8];
  for (__m256i& sum : sums) sum = _mm256_setzero_si256();
  for (std::size_t i = 0; i < n; i += 32) {
    for (int k = 0; k < 8; ++k) {
      sums[k] = _mm256_add_epi64(sums[k], _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + i + 4 * k)));
    }
  }
  std::uint64_t lanes[4];
  for (int k = 1; k < 8; ++k) sums[0] = _mm256_add_epi64(sums[0], sums[k]);
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(lanes), sums[0]);
  return lanes[0] + lanes[1] + lanes[2] + lanes[3];
}
#endif

// Eight independent 16-byte sums per 128 bytes: the loads, not the
// additions, set the pace.
std::uint64_t ReadAllSse2(const std::vector<std::uint64_t>& buffer) {
  const std::size_t n = buffer.size() - buffer.size() % 16;
  const std::uint64_t* data = buffer.data();
#if defined(__SSE2__)
  __m128i sums[8];
  for (__m128i& sum : sums) sum = _mm_setzero_si128();
  for (std::size_t i = 0; i < n; i += 16) {
    for (int k = 0; k < 8; ++k) {
      sums[k] = _mm_add_epi64(sums[k], _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 2 * k)));
    }
  }
  std::uint64_t lanes[2];
  for (int k = 1; k < 8; ++k) sums[0] = _mm_add_epi64(sums[0], sums[k]);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes), sums[0]);
  return lanes[0] + lanes[1];
#else
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i < n; ++i) sum += data[i];
  return sum;
#endif
}

std::uint64_t ReadAll(const std::vector<std::uint64_t>& buffer) {
#if defined(__SSE2__) && (defined(__GNUC__) || defined(__clang__))
  if (__builtin_cpu_supports("avx2")) return ReadAllAvx2(buffer);
#endif
  return ReadAllSse2(buffer);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: nf_bandwidth MEGABYTES PASSES\n");
    return 2;
  }
  const double megabytes = std::atof(argv[1]);
  const int passes = std::atoi(argv[2]);
  std::vector<std::uint64_t> buffer(static_cast<std::size_t>(megabytes * 1e6 / 8));
  for (std::size_t i = 0; i < buffer.size(); ++i) buffer[i] = i;
  std::uint64_t checksum = ReadAll(buffer);  // one pass to warm the caches as repeated recalls do
  const double start = ProcessSeconds();
  for (int pass = 0; pass < passes; ++pass) {
    // The buffer might have changed, as far as the compiler knows, so each
    // pass reads it again.
    asm volatile("" : : "r"(buffer.data()) : "memory");
    checksum += ReadAll(buffer);
  }
  const double seconds = ProcessSeconds() - start;
  const double bytes = static_cast<double>(buffer.size()) * 8.0 * passes;
  std::printf("%.6f %.0f %llu\n", seconds, bytes / seconds, static_cast<unsigned long long>(checksum));
  return 0;
}
