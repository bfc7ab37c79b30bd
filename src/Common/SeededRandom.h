// SeededRandom: the library's own pseudo-random generator, for work that must
// give the same result from the same seed on every machine and every run
// (shuffling and splitting data sets).
//
// It is SplitMix64: 64 bits of state, each step adds a fixed odd constant and
// mixes the state into the result with shifts and multiplications. Every
// operation is defined on unsigned 64-bit integers only, so the sequence of a
// seed does not depend on the compiler, the standard library or the
// processor, unlike std::rand and the distributions of <random>.
//
// A generator is a small value; copies continue independently. Not
// thread-safe: give each thread its own.
#ifndef NETFORGE_COMMON_SEEDEDRANDOM_H
#define NETFORGE_COMMON_SEEDEDRANDOM_H

#include <cstdint>

namespace Netforge {

class SeededRandom {
 public:
  explicit SeededRandom(std::uint64_t seed) : state_(seed) {}

  // The next 64 random bits.
  std::uint64_t Next();

  // A number drawn uniformly from 0 .. bound-1 (bound > 0; 0 gives 0).
  // Draws that would favour small numbers are thrown away and drawn again.
  std::uint64_t Below(std::uint64_t bound);

  // Puts |count| elements at |first| in a random order (Fisher-Yates,
  // from the last element down), every order equally likely.
  template <typename T>
  void Shuffle(T* first, std::uint64_t count) {
    for (std::uint64_t i = count; i > 1; --i) {
      const std::uint64_t j = Below(i);
      T kept = first[i - 1];
      first[i - 1] = first[j];
      first[j] = kept;
    }
  }

 private:
  std::uint64_t state_;
};

}  // namespace Netforge

#endif  // NETFORGE_COMMON_SEEDEDRANDOM_H
