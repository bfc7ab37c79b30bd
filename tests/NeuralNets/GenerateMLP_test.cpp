#include "NeuralNets/GenerateMLP.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "KQmessage/TException.h"

namespace {

std::vector<double> AllWeights(TBasicNetwork& network) {
  std::vector<double> weights(static_cast<std::size_t>(network.GetNumWeights(FMaskExists)));
  network.GetWeights(weights.data(), FMaskExists);
  return weights;
}

// The weights are those of Randomize right after srand(seed), so that every
// program reproducing the tool's networks gets the same bits.
TEST(GenerateMLP, DrawsTheWeightsOfRandomizeAfterSeeding) {
  const std::vector<int> sizes{3, 4, 2};
  auto network = GenerateMLP(sizes, true, -0.5, 0.5, 42);
  TMLPNetwork expected(3, sizes.data(), true);
  srand(42);
  expected.Randomize(-0.5, 0.5);
  EXPECT_EQ(AllWeights(*network), AllWeights(expected));
  EXPECT_EQ(network->numLayers, 4);
  EXPECT_EQ(network->GetNumWeights(FMaskExists), 3 * 4 + 4 * 2 + 4 + 2);
  EXPECT_NE(AllWeights(*GenerateMLP(sizes, true, -0.5, 0.5, 43)), AllWeights(*network));
}

TEST(GenerateMLP, RefusesSizesBeforeBuilding) {
  for (const std::vector<int>& sizes : {std::vector<int>{}, std::vector<int>{2, 0, 1}, std::vector<int>{-1}}) {
    EXPECT_THROW(GenerateMLP(sizes, false, -1.0, 1.0, 1), TException);
  }
  EXPECT_THROW(GenerateMLP(std::vector<int>(kMaxGeneratedLayers + 1, 1), false, -1.0, 1.0, 1), std::length_error);
  EXPECT_THROW(GenerateMLP({65536, 65536}, false, -1.0, 1.0, 1), std::length_error);
}

}  // namespace
