// TTrainingRandom: the seeded generator behind shuffling.
//
// Training draws its random numbers from this generator, never from rand():
// xoshiro256** seeded through SplitMix64, integer arithmetic only, so a
// given seed gives the same sequence on every machine, compiler and run.
// One object per training run; not thread-safe.
#ifndef NETFORGE_TRAINING_TRAININGRANDOM_H
#define NETFORGE_TRAINING_TRAININGRANDOM_H

#include <cstdint>
#include <vector>

class TTrainingRandom {
 public:
  explicit TTrainingRandom(std::uint64_t seed);

  // The next 64 random bits.
  std::uint64_t Next();
  // A uniform integer in [0, bound), bound > 0, without modulo bias.
  std::uint64_t Below(std::uint64_t bound);
  // Puts |order| in a uniformly random order (Fisher-Yates, from the back).
  void Shuffle(std::vector<std::int32_t>& order);

 private:
  std::uint64_t state_[4];
};

#endif  // NETFORGE_TRAINING_TRAININGRANDOM_H
