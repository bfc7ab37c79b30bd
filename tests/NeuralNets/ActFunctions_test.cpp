#include "NeuralNets/ActFunctions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "Common/PortableMath.h"
#include "NeuralNets/TBasicNeuron.h"
#include "NetworkTestSupport.h"
#include "Support/LongDouble.h"

namespace {

using nettest::Opaque;

double Apply(ActFunction fn, double net, double gain = 1.0) {
  double output = -99.0;
  TGainNeuron neuron;
  neuron.gain = gain;
  neuron.output = &output;
  fn(&neuron, net);
  return output;
}

void Dummy(TBasicNeuron*, double) {}

}  // namespace

TEST(ActFunctions, PlainFunctions) {
  EXPECT_EQ(Apply(BiasFunction, -7.0), 1.0);
  EXPECT_EQ(Apply(BiasFunction, 1e300), 1.0);
  EXPECT_EQ(Apply(LinearFunction, -2.5), -2.5);
  EXPECT_EQ(Apply(SaturatedLinearFunction, -3.0), 0.0);
  EXPECT_EQ(Apply(SaturatedLinearFunction, 0.0), 0.0);
  EXPECT_EQ(Apply(SaturatedLinearFunction, 0.5), 0.5);
  EXPECT_EQ(Apply(SaturatedLinearFunction, 1.0), 1.0);
  EXPECT_EQ(Apply(SaturatedLinearFunction, 2.0), 1.0);
  EXPECT_EQ(Apply(TanhFunction, 0.3), Netforge::Tanh(0.3));
}

TEST(ActFunctions, SigmoidCutOffAtMinus500) {
  EXPECT_EQ(Apply(SigmoidFunction, 0.0), 0.5);
  EXPECT_EQ(Apply(SigmoidFunction, -500.0), 1.0 / (1.0 + Netforge::Exp(500.0)));
  EXPECT_NEAR(Apply(SigmoidFunction, -500.0) / 7.1245764067412855e-218, 1.0, 1e-9);
  EXPECT_EQ(Apply(SigmoidFunction, -500.5), 1e-300);
  EXPECT_EQ(Apply(SigmoidFunction, 2.0), 1.0 / (1.0 + Netforge::Exp(-2.0)));
}

TEST(ActFunctions, GainFunctionsUseTheGain) {
  EXPECT_EQ(Apply(LinearGainFunction, 3.0, 0.5), 1.5);
  EXPECT_EQ(Apply(SigmoidGainFunction, 1.0, 2.0), Apply(SigmoidFunction, 2.0));
  for (double x : {-500.0, -3.0, 0.0, 0.25, 40.0}) EXPECT_EQ(Apply(SigmoidGainFunction, x), Apply(SigmoidFunction, x));
  // No cut-off in the gain form.
  EXPECT_EQ(Apply(SigmoidGainFunction, -600.0), 1.0 / (1.0 + Netforge::Exp(600.0)));
  EXPECT_EQ(Apply(TanhGainFunction, 0.5, 3.0), Netforge::Tanh(1.5));
}

// The outputs are the library's own exponentials, so that they do not depend
// on the processor; they must still be the mathematical functions: tanh within
// 1 ulp of the exact value, and the sigmoid within 3 ulp (its exp, sum and
// quotient each round by up to half an ulp relative to a result whose
// significand may be near 2).
TEST(ActFunctions, SigmoidAndTanhMatchTheExactFunctions) {
  if (!TestSupport::LongDoubleIsWiderThanDouble()) GTEST_SKIP() << "long double is no wider than double here";
  const auto ulps = [](double y, long double exact) {
    const int exponent = std::max(std::ilogb(static_cast<double>(exact)), -1022) - 52;
    return static_cast<double>(std::fabs(y - exact) / std::ldexp(1.0L, exponent));
  };
  for (double x = -40.0; x <= 40.0; x += 0.0625 + 1.0 / 1024) {
    for (double gain : {1.0, 0.5, 3.0}) {
      const double net = gain * x;  // as the gain forms compute it
      EXPECT_LE(ulps(Apply(TanhGainFunction, x, gain), tanhl(net)), 1.0) << net;
      EXPECT_LE(ulps(Apply(SigmoidGainFunction, x, gain), 1.0L / (1.0L + expl(-net))), 3.0) << net;
    }
    EXPECT_LE(ulps(Apply(TanhFunction, x), tanhl(x)), 1.0) << x;
    EXPECT_LE(ulps(Apply(SigmoidFunction, x), 1.0L / (1.0L + expl(-x))), 3.0) << x;
  }
}

TEST(ActFunctionsDeathTest, ErrorNullAndGainOnBasicNeuronStop) {
  double output = 0.0;
  TBasicNeuron neuron;
  neuron.output = &output;
  EXPECT_DEATH(ErrorFunction(&neuron, 0.0), "Assertion failed: false, file NeuralNets/ActFunctions.cpp");
  EXPECT_DEATH(NullFunction(&neuron, 0.0), "Assertion failed: false");
  EXPECT_DEATH(SigmoidGainFunction(&neuron, 1.0), "Assertion failed: gainNeuron != NULL");
}

TEST(TFnRegistry, DefaultsInOrderAndLookupIgnoresCase) {
  TFnRegistry registry;
  EXPECT_EQ(registry.count, 0);
  EXPECT_EQ(registry.capacity, 16);
  registry.RegisterDefaults();
  ASSERT_EQ(registry.count, 10);
  EXPECT_EQ(registry.capacity, 16);
  const char* names[] = {"error",   "null", "bias",        "linear",       "saturated-linear",
                         "sigmoid", "tanh", "linear-gain", "sigmoid-gain", "tanh-gain"};
  const ActFunction fns[] = {ErrorFunction,   NullFunction, BiasFunction,       LinearFunction,
                             SaturatedLinearFunction, SigmoidFunction, TanhFunction, LinearGainFunction,
                             SigmoidGainFunction,     TanhGainFunction};
  for (int i = 0; i < 10; ++i) {
    EXPECT_STREQ(registry.entries[i].name, names[i]);
    EXPECT_EQ(registry.entries[i].fn, fns[i]);
    EXPECT_STREQ(registry.GetFunctionName(fns[i]), names[i]);
  }
  EXPECT_EQ(registry.GetFunction("SIGMOID"), SigmoidFunction);
  EXPECT_EQ(registry.GetFunction("Tanh-Gain"), TanhGainFunction);
  EXPECT_TRUE(registry.HasFunction("LINEAR"));
  EXPECT_FALSE(registry.HasFunction("softmax"));
}

TEST(TFnRegistry, GrowsFrom16To32AtTheSeventeenthEntry) {
  TFnRegistry registry;
  registry.RegisterDefaults();
  std::vector<std::string> names;
  for (int i = 0; i < 6; ++i) names.push_back("extra" + std::to_string(i));
  for (const std::string& name : names) registry.RegisterFunction(Dummy, name.c_str());
  EXPECT_EQ(registry.count, 16);
  EXPECT_EQ(registry.capacity, 16);
  registry.RegisterFunction(Dummy, "seventeenth");
  EXPECT_EQ(registry.count, 17);
  EXPECT_EQ(registry.capacity, 32);
  EXPECT_STREQ(registry.entries[0].name, "error");
  EXPECT_STREQ(registry.entries[15].name, "extra5");
  EXPECT_EQ(registry.GetFunction("tanh"), TanhFunction);
  // Lookups search from the newest entry: the last name registered for Dummy wins.
  EXPECT_STREQ(registry.GetFunctionName(Dummy), "seventeenth");
}

TEST(TFnRegistry, FunctionSlotFindsOrOpensAnEntry) {
  TFnRegistry registry;
  registry.RegisterDefaults();
  ActFunction& existing = registry.FunctionSlot("LINEAR");
  EXPECT_EQ(existing, LinearFunction);
  EXPECT_EQ(registry.count, 10);
  ActFunction& fresh = registry.FunctionSlot("custom");
  EXPECT_EQ(fresh, nullptr);
  EXPECT_EQ(registry.count, 11);
  fresh = Dummy;
  EXPECT_EQ(registry.GetFunction("CUSTOM"), Dummy);
  EXPECT_STREQ(registry.GetFunctionName(Dummy), "custom");
}

TEST(TFnRegistryDeathTest, DuplicatesAndUnknownsStop) {
  TFnRegistry registry;
  registry.RegisterDefaults();
  EXPECT_DEATH(registry.RegisterFunction(Dummy, "Sigmoid"),
               "Assertion failed: strcasecmp\\(p,pp->name\\)!=0, file NeuralNets/ActFunctions.cpp, line [0-9]+");
  EXPECT_DEATH(registry.GetFunction("softmax"), "Assertion failed: entry != NULL");
  EXPECT_DEATH(registry.GetFunctionName(Dummy), "Assertion failed: entry != NULL");
}
