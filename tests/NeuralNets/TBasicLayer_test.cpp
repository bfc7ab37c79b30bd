#include "NeuralNets/TBasicLayer.h"

#include <gtest/gtest.h>

#include <string>

#include "NeuralNets/TBasicNetwork.h"
#include "NetworkTestSupport.h"
#include "Support/ConsoleRecorder.h"

using nettest::SimpleNetwork;

TEST(TBasicLayer, ConstructionFillsNeuronsAndFunctions) {
  TBasicNetwork network(3);
  auto* simple = new TSimpleLayer(&network, 0, 3);
  auto* input = new TSimpleInputLayer(&network, 1, 2);
  auto* gain = new TGainLayer(&network, 2, 2, 2.5);
  network.SetLayer(0, simple);
  network.SetLayer(1, input);
  network.SetLayer(2, gain);

  EXPECT_STREQ(simple->GetTypeName(), "Simple");
  EXPECT_STREQ(input->GetTypeName(), "Input");
  EXPECT_STREQ(gain->GetTypeName(), "Gain");
  EXPECT_EQ(simple->GetActivationFunction(), ErrorFunction);
  EXPECT_EQ(gain->GetActivationFunction(), ErrorFunction);
  EXPECT_EQ(input->GetActivationFunction(), LinearFunction);
  ASSERT_EQ(simple->outputs.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    TBasicNeuron* neuron = simple->GetNeuron(i);
    EXPECT_EQ(neuron->layer, simple);
    EXPECT_EQ(neuron->output, &simple->outputs[i]);
    EXPECT_EQ(neuron->layerNum, 0);
    EXPECT_EQ(neuron->index, i);
    EXPECT_EQ(simple->outputs[i], 0.0);
  }
  EXPECT_EQ(gain->nodes[1].gain, 2.5);
  EXPECT_EQ(simple->numDimensions, 0);
}

TEST(TBasicLayer, CommonFunctionIsWorkedOutAndCached) {
  TBasicNetwork network(2);
  auto* layer = new TSimpleLayer(&network, 0, 3);
  auto* empty = new TSimpleLayer(&network, 1, 0);
  network.SetLayer(0, layer);
  network.SetLayer(1, empty);
  EXPECT_EQ(empty->GetActivationFunction(), NullFunction);
  EXPECT_EQ(empty->commonFn, NullFunction);

  layer->SetActivationFunction(SigmoidFunction);
  layer->GetNeuron(2)->SetActivationFunction(TanhFunction);
  EXPECT_EQ(layer->GetActivationFunction(), nullptr);
  EXPECT_EQ(layer->commonFn, nullptr);
  layer->GetNeuron(2)->SetActivationFunction(SigmoidFunction);
  EXPECT_EQ(layer->GetActivationFunction(), SigmoidFunction);
  EXPECT_EQ(layer->commonFn, SigmoidFunction);
}

TEST(TBasicLayer, DimensionsAreStoredAndCopied) {
  TBasicNetwork network(1);
  auto* layer = new TSimpleLayer(&network, 0, 1);
  network.SetLayer(0, layer);
  int unused = 42;
  layer->GetDimensions(&unused);  // nothing to copy
  EXPECT_EQ(unused, 42);
  const int dims[] = {4, 5, 6};
  layer->SetDimensions(3, dims);
  int out[3] = {0, 0, 0};
  layer->GetDimensions(out);
  EXPECT_EQ(layer->numDimensions, 3);
  EXPECT_EQ(out[0], 4);
  EXPECT_EQ(out[2], 6);
  layer->SetDimensions(0, nullptr);
  EXPECT_EQ(layer->numDimensions, 0);
  EXPECT_TRUE(layer->dimensions.empty());
}

TEST(TBasicLayer, InputLayerPassesItsInputThroughSilently) {
  auto network = SimpleNetwork({0, 2});
  network->SetLayer(1, new TSimpleInputLayer(network.get(), 1, 2));
  network->layers[1]->SetActivationFunction(SigmoidFunction);  // ignored as input layer
  const double input[] = {0.5, -2.0};
  TestSupport::ConsoleRecorder console;
  network->layers[1]->Recall(input);
  EXPECT_EQ(console.TakeError(), "");
  EXPECT_EQ(network->layers[1]->outputs[0], 0.5);
  EXPECT_EQ(network->layers[1]->outputs[1], -2.0);
}

TEST(TBasicLayer, InputLayerElsewhereWarnsAndOutputsZeros) {
  auto network = SimpleNetwork({1, 1, 2});
  network->SetLayer(2, new TSimpleInputLayer(network.get(), 2, 2));
  network->layers[2]->outputs[0] = 9.0;
  const double input[] = {0.5, -2.0};
  TestSupport::ConsoleRecorder console;
  network->layers[2]->Recall(input);
  EXPECT_EQ(console.TakeError(), "!Warning: changed input layer (TSimpleInputLayer)\n");
  EXPECT_EQ(console.TakeOutput(), "");
  EXPECT_EQ(network->layers[2]->outputs[0], 0.0);
  EXPECT_EQ(network->layers[2]->outputs[1], 0.0);
}

TEST(TBasicLayer, GainLayerAsInputLayerWarnsStartsFromTheInputAndAddsItsBlocks) {
  auto network = SimpleNetwork({1, 2});
  network->layers[0]->SetActivationFunction(BiasFunction);
  auto* gain = new TGainLayer(network.get(), 1, 2, 2.0);
  network->SetLayer(1, gain);
  gain->SetActivationFunction(LinearGainFunction);
  network->Connect(0, 1);
  network->priv_conns_index[1][0]->Weight(0, 0) = 0.5;
  network->priv_conns_index[1][0]->Weight(0, 1) = -1.0;
  const double input[] = {3.0, 4.0};
  double output[2];
  TestSupport::ConsoleRecorder console;
  network->Recall(input, output);
  network->Recall(input, output);
  EXPECT_EQ(console.TakeError(),
            "!Warning: changed input layer (TSimpleLayer)\n!Warning: changed input layer (TSimpleLayer)\n");
  EXPECT_EQ(output[0], 2.0 * (3.0 + (0.0 + 0.5 * 1.0)));
  EXPECT_EQ(output[1], 2.0 * (4.0 + (0.0 + -1.0 * 1.0)));
}

TEST(TBasicLayer, LayerWithoutIncomingBlocksOutputsTheFunctionOfZero) {
  auto network = SimpleNetwork({1, 1, 3}, SigmoidFunction);
  const double input[] = {5.0};
  network->layers[2]->Recall(input);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(network->layers[2]->outputs[i], 0.5);
}

TEST(TBasicLayer, ActivateUsesPerNeuronFunctionsWithoutACommonOne) {
  TBasicNetwork network(1);
  auto* layer = new TSimpleLayer(&network, 0, 2);
  network.SetLayer(0, layer);
  layer->GetNeuron(0)->SetActivationFunction(LinearFunction);
  layer->GetNeuron(1)->SetActivationFunction(BiasFunction);
  const double net[] = {-3.0, -3.0};
  layer->Activate(net);
  EXPECT_EQ(layer->outputs[0], -3.0);
  EXPECT_EQ(layer->outputs[1], 1.0);
  // Activate in place: each net input is read before its entry is overwritten.
  layer->outputs = {0.25, 7.0};
  layer->Activate(layer->outputs.data());
  EXPECT_EQ(layer->outputs[0], 0.25);
  EXPECT_EQ(layer->outputs[1], 1.0);
}

TEST(TBasicLayer, CloneIsIndependentOfItsSource) {
  TBasicNetwork source(1);
  TBasicNetwork target(1);
  auto* gain = new TGainLayer(&source, 0, 3, 1.0);
  source.SetLayer(0, gain);
  gain->SetActivationFunction(SigmoidGainFunction);
  gain->nodes[1].gain = 3.5;
  const int dims[] = {3, 1};
  gain->SetDimensions(2, dims);
  gain->outputs[2] = 8.0;

  auto* clone = static_cast<TGainLayer*>(gain->Clone(&target));
  target.SetLayer(0, clone);
  EXPECT_EQ(clone->network, &target);
  EXPECT_STREQ(clone->GetTypeName(), "Gain");
  EXPECT_EQ(clone->numNeurons, 3);
  EXPECT_EQ(clone->commonFn, SigmoidGainFunction);
  EXPECT_EQ(clone->nodes[1].gain, 3.5);
  EXPECT_EQ(clone->nodes[0].gain, 1.0);
  EXPECT_EQ(clone->numDimensions, 2);
  EXPECT_EQ(clone->dimensions[1], 1);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(clone->outputs[i], 0.0);
    EXPECT_EQ(clone->nodes[i].layer, clone);
    EXPECT_EQ(clone->nodes[i].output, &clone->outputs[i]);
    EXPECT_EQ(clone->nodes[i].actFn, SigmoidGainFunction);
  }
  clone->SetGain(9.0);
  clone->SetActivationFunction(TanhGainFunction);
  clone->dimensions[0] = 77;
  EXPECT_EQ(gain->nodes[1].gain, 3.5);
  EXPECT_EQ(gain->GetActivationFunction(), SigmoidGainFunction);
  EXPECT_EQ(gain->dimensions[0], 3);

  auto* input = new TSimpleInputLayer(&source, 0, 2);
  source.SetLayer(0, input);
  TBasicLayer* inputClone = input->Clone(&target);
  EXPECT_STREQ(inputClone->GetTypeName(), "Input");
  EXPECT_EQ(inputClone->GetActivationFunction(), LinearFunction);
  target.SetLayer(0, inputClone);
}

TEST(TBasicLayer, InsertAndRemoveNeuronKeepNumberingAndFunctions) {
  TBasicNetwork network(3);
  auto* layer = new TGainLayer(&network, 2, 3, 2.5);
  network.SetLayer(2, layer);
  layer->SetActivationFunction(TanhGainFunction);
  layer->nodes[1].gain = 4.0;

  layer->InsertNeuron(1);
  ++layer->numNeurons;
  ASSERT_EQ(layer->nodes.size(), 4u);
  EXPECT_EQ(layer->outputs.size(), 4u);
  EXPECT_EQ(layer->nodes[1].gain, 2.5);  // the first neuron's gain
  EXPECT_EQ(layer->nodes[1].actFn, TanhGainFunction);
  EXPECT_EQ(layer->nodes[2].gain, 4.0);  // moved up
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(layer->nodes[i].index, i);
    EXPECT_EQ(layer->nodes[i].layerNum, 2);
    EXPECT_EQ(layer->nodes[i].output, &layer->outputs[i]);
    EXPECT_EQ(layer->nodes[i].layer, layer);
  }

  layer->RemoveNeuron(0);
  --layer->numNeurons;
  ASSERT_EQ(layer->nodes.size(), 3u);
  EXPECT_EQ(layer->nodes[1].gain, 4.0);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(layer->nodes[i].index, i);
    EXPECT_EQ(layer->nodes[i].output, &layer->outputs[i]);
  }
}

TEST(TBasicLayer, InsertNeuronIntoEmptyOrMixedLayers) {
  TBasicNetwork network(2);
  auto* gain = new TGainLayer(&network, 0, 0, 7.0);
  auto* simple = new TSimpleLayer(&network, 1, 2);
  network.SetLayer(0, gain);
  network.SetLayer(1, simple);
  EXPECT_EQ(gain->GetActivationFunction(), NullFunction);
  gain->InsertNeuron(0);
  ++gain->numNeurons;
  EXPECT_EQ(gain->nodes[0].gain, 1.0);
  // "null" only marks the empty layer; the new neuron waits for a function.
  EXPECT_EQ(gain->nodes[0].actFn, ErrorFunction);
  EXPECT_EQ(gain->GetActivationFunction(), ErrorFunction);

  simple->GetNeuron(0)->SetActivationFunction(LinearFunction);
  simple->GetNeuron(1)->SetActivationFunction(TanhFunction);
  simple->InsertNeuron(2);
  ++simple->numNeurons;
  EXPECT_EQ(simple->GetNeuron(2)->actFn, ErrorFunction);
}

TEST(TBasicLayerDeathTest, MisuseStops) {
  TBasicNetwork network(1);
  auto* layer = new TSimpleLayer(&network, 0, 2);
  network.SetLayer(0, layer);
  EXPECT_DEATH(layer->SetDimensions(2, nullptr), "Assertion failed: parameters != NULL");
  const int dims[] = {1};
  layer->SetDimensions(1, dims);
  EXPECT_DEATH(layer->GetDimensions(nullptr), "Assertion failed: parameters != NULL");
  EXPECT_DEATH(layer->RemoveNeuron(2), "Assertion failed: index<numNeurons");
  EXPECT_DEATH(layer->InsertNeuron(3), "Assertion failed: index<=numNeurons");
  EXPECT_DEATH(new TSimpleLayer(&network, 0, -1), "Assertion failed: numNeurons>=0");
}
