// The shuffling generator's sequence is part of what a seed means: the same
// seed must give the same trained network on every machine and in every
// later version, so its first values are pinned here (xoshiro256** seeded
// through SplitMix64, as its reference implementation gives them).
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "Training/TrainingRandom.h"

TEST(TTrainingRandom, GivesThePinnedSequenceShuffleAndBoundedDraws) {
  TTrainingRandom random(1);
  EXPECT_EQ(random.Next(), 0xb3f2af6d0fc710c5ULL);
  EXPECT_EQ(random.Next(), 0x853b559647364ceaULL);
  EXPECT_EQ(random.Next(), 0x92f89756082a4514ULL);

  std::vector<std::int32_t> order = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  TTrainingRandom(42).Shuffle(order);
  EXPECT_EQ(order, (std::vector<std::int32_t>{9, 1, 4, 2, 8, 7, 6, 5, 3, 0}));
  EXPECT_EQ(TTrainingRandom(7).Below(1000), 700u);

  // Every value of a small bound comes up, none beyond it.
  TTrainingRandom draws(3);
  std::vector<int> seen(3, 0);
  for (int i = 0; i < 300; ++i) {
    const std::uint64_t value = draws.Below(3);
    ASSERT_LT(value, 3u);
    ++seen[value];
  }
  for (int count : seen) EXPECT_GT(count, 60);
}
