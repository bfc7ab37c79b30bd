#include "Training/TrainingRandom.h"

#include <utility>

#include "Common/Assert.h"

namespace {

std::uint64_t SplitMix64(std::uint64_t& x) {
  std::uint64_t z = (x += 0x9e3779b97f4a7c15ULL);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

std::uint64_t RotateLeft(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

}  // namespace

TTrainingRandom::TTrainingRandom(std::uint64_t seed) {
  for (std::uint64_t& word : state_) word = SplitMix64(seed);
}

std::uint64_t TTrainingRandom::Next() {
  const std::uint64_t result = RotateLeft(state_[1] * 5, 7) * 9;
  const std::uint64_t t = state_[1] << 17;
  state_[2] ^= state_[0];
  state_[3] ^= state_[1];
  state_[1] ^= state_[2];
  state_[0] ^= state_[3];
  state_[2] ^= t;
  state_[3] = RotateLeft(state_[3], 45);
  return result;
}

std::uint64_t TTrainingRandom::Below(std::uint64_t bound) {
  NF_ASSERT(bound > 0);
  // Lemire's multiply-and-reject: the high word of a 128-bit product is
  // uniform once the few low words that would favour some results are
  // rejected.
  unsigned __int128 product = static_cast<unsigned __int128>(Next()) * bound;
  std::uint64_t low = static_cast<std::uint64_t>(product);
  if (low < bound) {
    const std::uint64_t threshold = (0 - bound) % bound;
    while (low < threshold) {
      product = static_cast<unsigned __int128>(Next()) * bound;
      low = static_cast<std::uint64_t>(product);
    }
  }
  return static_cast<std::uint64_t>(product >> 64);
}

void TTrainingRandom::Shuffle(std::vector<std::int32_t>& order) {
  for (std::size_t i = order.size(); i > 1; --i) {
    const std::size_t j = static_cast<std::size_t>(Below(i));
    std::swap(order[i - 1], order[j]);
  }
}
