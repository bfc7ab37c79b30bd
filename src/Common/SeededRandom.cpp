#include "Common/SeededRandom.h"

namespace Netforge {

std::uint64_t SeededRandom::Next() {
  state_ += 0x9E3779B97F4A7C15ULL;
  std::uint64_t z = state_;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

std::uint64_t SeededRandom::Below(std::uint64_t bound) {
  if (bound == 0) return 0;
  // The largest multiple of |bound| that 64 bits hold; draws at or above it
  // would make the low remainders more likely.
  const std::uint64_t limit = UINT64_MAX - UINT64_MAX % bound;
  std::uint64_t draw = Next();
  while (draw >= limit) draw = Next();
  return draw % bound;
}

}  // namespace Netforge
