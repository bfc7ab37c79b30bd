#include "NeuralNets/TBasicNeuron.h"

#include <gtest/gtest.h>

#include "NeuralNets/TBasicNetwork.h"

TEST(TBasicNeuron, FreshNeuronsUseTheErrorFunctionAndHaveNoParameters) {
  TBasicNeuron basic;
  TGainNeuron gain;
  EXPECT_EQ(basic.GetActivationFunction(), ErrorFunction);
  EXPECT_EQ(gain.GetActivationFunction(), ErrorFunction);
  EXPECT_EQ(basic.GetNumParameters(), 0);
  double values[1] = {7.0};
  basic.GetParameters(values);
  basic.SetParameters(values);
  EXPECT_EQ(values[0], 7.0);
}

TEST(TBasicNeuron, ActivateWritesThroughTheOutputPointer) {
  double output = 0.0;
  TBasicNeuron neuron;
  neuron.output = &output;
  neuron.SetActivationFunction(LinearFunction);
  neuron.Activate(4.25);
  EXPECT_EQ(output, 4.25);
}

TEST(TBasicNeuron, SettingAFunctionClearsTheLayersCommonFunction) {
  TBasicNetwork network(2);
  TSimpleLayer* layer = new TSimpleLayer(&network, 0, 2);
  network.SetLayer(0, layer);
  layer->SetActivationFunction(SigmoidFunction);
  EXPECT_EQ(layer->commonFn, SigmoidFunction);
  layer->GetNeuron(1)->SetActivationFunction(SigmoidFunction);
  EXPECT_EQ(layer->commonFn, nullptr);
  EXPECT_EQ(layer->GetActivationFunction(), SigmoidFunction);
}

TEST(TGainNeuron, OneParameterNamedGain) {
  TGainNeuron neuron;
  EXPECT_EQ(neuron.gain, 1.0);
  EXPECT_EQ(neuron.GetNumParameters(), 1);
  EXPECT_STREQ(neuron.GetParameterName(0), "Gain");
  const double in[1] = {0.25};
  neuron.SetParameters(in);
  double out[1] = {0.0};
  neuron.GetParameters(out);
  EXPECT_EQ(out[0], 0.25);
  EXPECT_EQ(neuron.gain, 0.25);
}

TEST(TBasicNeuronDeathTest, ParameterNamesOutOfRangeStop) {
  TBasicNeuron basic;
  TGainNeuron gain;
  EXPECT_DEATH(basic.GetParameterName(0), "Assertion failed: false, file NeuralNets/TBasicNeuron.cpp");
  EXPECT_DEATH(gain.GetParameterName(1), "Assertion failed: i==0, file NeuralNets/TBasicNeuron.cpp");
}
