// Colours, widths and numbers shared by the drawings.
#include "Drawing/DrawingStyle.h"

#include <limits>

#include <gtest/gtest.h>

namespace {

using namespace Netforge;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(DrawingStyle, WeightColourAndWidth) {
  struct Case {
    double weight;
    double largest;
    const char* colour;
    double width;
  };
  const Case cases[] = {
      {2.0, 2.0, "#084594", kWidestLine},        // strongest positive: the dark blue end
      {-2.0, 2.0, "#a50f15", kWidestLine},       // strongest negative: the dark red end
      {0.0, 2.0, "#97b6d8", kThinnestLine},      // zero: a quarter of the way from light blue
      {5.0, 2.0, "#084594", kWidestLine},        // beyond the scale: clipped
      {-kInf, 2.0, "#a50f15", kWidestLine},      // infinite: the strongest
      {kNaN, 2.0, "#999999", kThinnestLine},     // no magnitude: grey and thin
      {1.0, 0.0, "#97b6d8", kThinnestLine},      // no finite weight to scale by
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WeightColour(c.weight, c.largest), c.colour) << c.weight;
    EXPECT_DOUBLE_EQ(WeightWidth(c.weight, c.largest, 1.0), c.width) << c.weight;
  }
  EXPECT_DOUBLE_EQ(WeightWidth(2.0, 2.0, 0.5), kWidestLine / 2.0);
}

TEST(DrawingStyle, LinesNarrowInDenseDrawings) {
  EXPECT_EQ(LineScale(0), 1.0);
  EXPECT_EQ(LineScale(200), 1.0);
  EXPECT_DOUBLE_EQ(LineScale(800), 0.5);
  EXPECT_DOUBLE_EQ(LineScale(2000000), 1.0 / 3.0);
}

TEST(DrawingStyle, Decimals) {
  const std::pair<double, const char*> cases[] = {{0.0, "0"}, {-0.04, "0"}, {12.26, "12.3"}, {0.05, "0.1"}, {-3.5, "-3.5"}, {100.0, "100"}};
  for (const auto& [value, text] : cases) EXPECT_EQ(Decimal(value, 1), text) << value;
}

}  // namespace
