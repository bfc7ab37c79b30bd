// The RPROP rules step by step on hand-made gradients: the step sizes FANN's
// defaults give (a first step of 0.1 * 1.2, as FANN takes it), what a sign
// change does, and iRPROP+'s backtracking.
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "Training/TNetworkGradient.h"
#include "Training/TUpdateRules.h"

namespace {

// A layout of one block whose cells are |weights|, all trainable.
TParameterLayout LayoutOf(std::vector<double>& weights) {
  TParameterLayout layout;
  TParameterLayout::Block block{};
  block.weights = weights.data();
  block.cells = weights.size();
  block.allTrainable = true;
  layout.blocks.push_back(block);
  layout.size = layout.trainable = weights.size();
  return layout;
}

std::unique_ptr<TUpdateRule> Rule(TTrainingAlgorithm algorithm, std::size_t size) {
  TTrainingOptions options;  // FANN's defaults: 1.2, 0.5, initial step 0.1
  options.algorithm = algorithm;
  return MakeUpdateRule(options, size);
}

const double kFirst = 0.1 * 1.2;     // the first epoch's step
const double kSecond = kFirst * 1.2;  // after the same sign twice

}  // namespace

TEST(TUpdateRules, IRpropMinusGrowsOnAZeroProductAndRestsAfterASignChange) {
  // Cell 0 keeps its sign, then changes it; cell 1 starts with a zero
  // gradient; cell 2 changes sign at once.
  std::vector<double> w = {0.5, 0.5, 0.5};
  const TParameterLayout layout = LayoutOf(w);
  auto rule = Rule(TTrainingAlgorithm::IRpropMinus, w.size());

  const double epochs[4][3] = {{1, 0, 1}, {1, 1, -1}, {-1, 1, -1}, {-1, 1, -1}};
  std::vector<std::vector<double>> seen;
  for (const auto& gradient : epochs) {
    rule->Step(layout, gradient, 4, 0.0);
    seen.push_back(w);
  }
  // Epoch 1: the step grows from 0.1 before the first move; a zero gradient
  // grows it too but does not move the weight.
  EXPECT_EQ(seen[0], (std::vector<double>{0.5 - kFirst, 0.5, 0.5 - kFirst}));
  // Epoch 2: cell 1 moves by the twice-grown step; cell 2 changed sign: its
  // step halves and it rests.
  EXPECT_EQ(seen[1], (std::vector<double>{0.5 - kFirst - kSecond, 0.5 - kSecond, 0.5 - kFirst}));
  // Epoch 3: cell 0 changed sign and rests (FANN 2.2 would move it by the
  // halved step); cell 2's stored gradient is 0, so its halved step grows
  // again and it moves by that.
  const double afterChange = kFirst * 0.5 * 1.2;
  EXPECT_EQ(seen[2], (std::vector<double>{0.5 - kFirst - kSecond, 0.5 - kSecond - kSecond * 1.2,
                                          0.5 - kFirst + afterChange}));
  // Epoch 4: cell 0 restarts from its halved, regrown step.
  EXPECT_EQ(seen[3][0], 0.5 - kFirst - kSecond + kSecond * 0.5 * 1.2);
  EXPECT_EQ(seen[3][2], 0.5 - kFirst + afterChange + afterChange * 1.2);
}

TEST(TUpdateRules, IRpropPlusTakesBackTheLastMoveOnlyWhenTheErrorGrew) {
  for (const bool errorGrew : {true, false}) {
    std::vector<double> w = {0.5, 0.5};
    const TParameterLayout layout = LayoutOf(w);
    auto rule = Rule(TTrainingAlgorithm::IRpropPlus, w.size());
    const double first[2] = {1, 1};
    const double second[2] = {-1, 1};
    const double third[2] = {-1, 1};
    rule->Step(layout, first, 4, 1.0);
    EXPECT_EQ(w, (std::vector<double>{0.5 - kFirst, 0.5 - kFirst}));
    rule->Step(layout, second, 4, errorGrew ? 2.0 : 0.5);
    const double back = errorGrew ? 0.5 - kFirst + kFirst : 0.5 - kFirst;
    EXPECT_EQ(w, (std::vector<double>{back, 0.5 - kFirst - kSecond})) << errorGrew;
    // After the change the stored gradient is 0: the halved step grows.
    rule->Step(layout, third, 4, 0.1);
    EXPECT_EQ(w[0], back + kFirst * 0.5 * 1.2) << errorGrew;
  }
}
