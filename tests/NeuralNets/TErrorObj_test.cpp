#include "NeuralNets/TErrorObj.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "KQmessage/KQML.h"

// Expected figures below were computed independently (by hand or with a
// separate calculator) and are compared to 1e-12.

namespace {

constexpr double kTolerance = 1e-12;

std::unique_ptr<TKQstructure> Description(const char* text) {
  const char* cursor = text;
  return std::unique_ptr<TKQstructure>(ParseMessage(cursor));
}

}  // namespace

TEST(TErrorRMSObj, AccumulatesSquaredDifferences) {
  TErrorRMSObj rms(2);
  EXPECT_EQ(rms.GetNumOutputs(), 2);
  EXPECT_EQ(rms.GetError(), 0.0);  // no pattern yet: defined, finite
  const double zeros[] = {0.0, 0.0};
  const double outputs[] = {1.0, 2.0};
  rms.AddPattern(zeros, outputs);
  EXPECT_EQ(rms.GetSum(), 5.0);
  EXPECT_EQ(rms.GetNumPatterns(), 1);
  EXPECT_NEAR(rms.GetError(), 1.5811388300841898, kTolerance);
  rms.AddPattern(zeros, outputs);  // an identical pattern keeps the figure
  EXPECT_EQ(rms.GetNumPatterns(), 2);
  EXPECT_NEAR(rms.GetError(), 1.5811388300841898, kTolerance);

  TErrorRMSObj three(3);
  const double t1[] = {0.25, -1.0, 3.0}, y1[] = {0.5, 0.75, 2.875};
  const double t2[] = {1.0, 1.0, 1.0}, y2[] = {0.0, 0.5, 2.0};
  three.AddPattern(t1, y1);
  three.AddPattern(t2, y2);
  EXPECT_NEAR(three.GetSum(), 5.390625, kTolerance);
  EXPECT_NEAR(three.GetError(), 0.9478594305064438, kTolerance);
}

TEST(TErrorRMSObj, ResetForgetsEarlierPatternsAndPenalties) {
  TErrorRMSObj rms(1);
  const double t[] = {0.0}, far[] = {10.0}, near[] = {0.5};
  rms.AddPattern(t, far);
  const double weights[] = {3.0};
  auto quad = Description("(quadpenalty :epsilon2 1)");
  rms.AddPenalty(1, weights, quad.get());
  rms.Reset();
  EXPECT_EQ(rms.GetNumPatterns(), 0);
  EXPECT_EQ(rms.GetSum(), 0.0);
  EXPECT_EQ(rms.GetError(), 0.0);
  rms.AddPattern(t, near);
  EXPECT_NEAR(rms.GetError(), 0.5, kTolerance);
  // A penalty is averaged together with the squared errors: sqrt((0.25+9)/1/1).
  rms.AddPenalty(1, weights, quad.get());
  EXPECT_NEAR(rms.GetError(), std::sqrt(9.25), kTolerance);
}

TEST(TErrorCrossEntropyObj, SumsWithoutAveraging) {
  TErrorCrossEntropyObj ce(3);
  EXPECT_EQ(ce.GetError(), 0.0);
  const double t[] = {1.0, 0.5, 0.2}, y[] = {0.5, 0.5, 0.9};
  ce.AddPattern(t, y);
  EXPECT_EQ(ce.GetNumPatterns(), 1);
  EXPECT_NEAR(ce.GetError(), 3.2494345386466925, kTolerance);
  ce.AddPattern(t, y);
  EXPECT_NEAR(ce.GetError(), 2 * 3.2494345386466925, kTolerance);

  TErrorCrossEntropyObj one(1);
  const double half[] = {0.5}, target1[] = {1.0};
  one.AddPattern(target1, half);
  EXPECT_NEAR(one.GetError(), 0.69314718055994531, kTolerance);
  one.Reset();
  one.AddPattern(half, half);
  EXPECT_NEAR(one.GetError(), 0.69314718055994531, kTolerance);
  const double t2[] = {0.7}, y2[] = {0.3};
  one.Reset();
  one.AddPattern(t2, y2);
  EXPECT_NEAR(one.GetError(), 0.949783446209775, kTolerance);
}

TEST(TErrorCrossEntropyObj, SaturatedOutputsStayFinite) {
  TErrorCrossEntropyObj ce(4);
  // Output 1.0: 0 for target 1.0, a million otherwise; output 0.0 mirrors it.
  const double t[] = {1.0, 0.0, 0.0, 1.0}, y[] = {1.0, 1.0, 0.0, 0.0};
  ce.AddPattern(t, y);
  EXPECT_EQ(ce.GetError(), 2000000.0);
  ce.Reset();
  const double exact[] = {1.0, 0.0, 0.0, 1.0}, matching[] = {1.0, 0.0, 0.0, 1.0};
  ce.AddPattern(exact, matching);
  EXPECT_EQ(ce.GetError(), 0.0);
  ce.Reset();
  const double partial[] = {0.5, 0.5, 0.5, 0.5};
  ce.AddPattern(partial, y);
  EXPECT_EQ(ce.GetError(), 4000000.0);
  EXPECT_TRUE(std::isfinite(ce.GetError()));
}

TEST(TErrorObj, PenaltyKinds) {
  const double weights[] = {1.0, -2.0, 0.5};
  EXPECT_EQ(TErrorObj::Penalty(3, weights, nullptr), 0.0);
  EXPECT_EQ(TErrorObj::Penalty(3, weights, Description("none").get()), 0.0);
  EXPECT_EQ(TErrorObj::Penalty(3, weights, Description("(None :epsilon1 5)").get()), 0.0);
  EXPECT_EQ(TErrorObj::Penalty(3, weights, Description("quadpenalty").get()), 0.0);
  EXPECT_NEAR(TErrorObj::Penalty(3, weights, Description("(QuadPenalty :EPSILON2 0.1)").get()), 0.1 * 5.25,
              kTolerance);
  EXPECT_NEAR(TErrorObj::Penalty(3, weights, Description("(QUADPENALTY :epsilon1 0.5 :Epsilon2 0.1 :beta 2)").get()),
              1.4694444444444443, kTolerance);
  // BETA defaults to 1.0: 2 * (1/2 + 4/5 + 0.25/1.25).
  EXPECT_NEAR(TErrorObj::Penalty(3, weights, Description("(quadpenalty :epsilon1 2)").get()), 3.0, kTolerance);

  const double two[] = {1.0, -2.0};
  EXPECT_NEAR(TErrorObj::Penalty(2, two, Description("(LWF :LEARNINGRATE 0.5 :FORGETTINGRATE 0.2)").get()), 0.3,
              kTolerance);
  // An absent rate counts as 0.0, so an incomplete description adds nothing.
  EXPECT_EQ(TErrorObj::Penalty(2, two, Description("(lwf :learningrate 0.5)").get()), 0.0);
  EXPECT_EQ(TErrorObj::Penalty(2, two, Description("(lwf :forgettingrate 0.2)").get()), 0.0);
  EXPECT_EQ(TErrorObj::Penalty(0, nullptr, Description("(lwf :learningrate 1 :forgettingrate 1)").get()), 0.0);
}

TEST(TErrorObj, BadParameterThrowsAndLeavesTheObjectUnchanged) {
  const double weights[] = {1.0, 2.0};
  const double t[] = {0.0}, y[] = {0.5};
  TErrorRMSObj rms(1);
  rms.AddPattern(t, y);
  TErrorCrossEntropyObj ce(1);
  ce.AddPattern(t, y);
  const double rmsBefore = rms.GetError();
  const double ceBefore = ce.GetError();

  // The bad value comes after a good one, so a partial sum would show.
  auto quad = Description("(quadpenalty :epsilon1 1 :epsilon2 0.1 :beta many)");
  auto lwf = Description("(lwf :learningrate 0.5 :forgettingrate soon)");
  for (const TKQstructure* bad : {quad.get(), lwf.get()}) {
    for (TErrorObj* object : {static_cast<TErrorObj*>(&rms), static_cast<TErrorObj*>(&ce)}) {
      try {
        object->AddPenalty(2, weights, bad);
        ADD_FAILURE() << "no error";
      } catch (const TKQstructure::Error& e) {
        const std::unique_ptr<TKQstructure> structure(e.structure);
        const std::string text = TextForm(structure.get());
        EXPECT_TRUE(text == "(error :type invalid-message :number-expected many)" ||
                    text == "(error :type invalid-message :number-expected soon)")
            << text;
      }
    }
  }
  EXPECT_EQ(rms.GetError(), rmsBefore);
  EXPECT_EQ(rms.GetNumPatterns(), 1);
  EXPECT_EQ(ce.GetError(), ceBefore);
}

TEST(TErrorObjDeathTest, UnknownPenaltyKindFailsTheCheck) {
  const double weights[] = {1.0};
  TErrorRMSObj rms(1);
  auto unknown = Description("(decay :rate 1)");
  EXPECT_DEATH(rms.AddPenalty(1, weights, unknown.get()), "^Assertion failed: false, file .*TErrorObj\\.cpp");
}
