// The sigmoids and tanh over arrays against the activation functions neuron
// by neuron, bit for bit, with every vector unit this machine has forced in
// turn; then the two places that use them, ActivateValues and a layer's
// Activate, against the same functions. The net inputs are the vector exp
// tests' million arguments (every special value, the edges of the vector
// path, the -500 edge of the pinned output, subnormal exponentials), array
// lengths around the register widths, unaligned starts.
#include "NeuralNets/ActivationArrays.h"

#include <gtest/gtest.h>

#include <vector>

#include "NeuralNets/ActFunctions.h"
#include "NeuralNets/TBasicLayer.h"
#include "NeuralNets/TBasicNetwork.h"
#include "NeuralNets/TBasicNeuron.h"
#include "Support/VectorMathTestSupport.h"

namespace {

using Netforge::SimdIsa;
using TestSupport::ExpectSameBits;
using TestSupport::IsaName;

// What |fn| gives a neuron (a gain neuron with |gain|) for each net input.
std::vector<double> NeuronByNeuron(ActFunction fn, double gain, const std::vector<double>& net) {
  TGainNeuron neuron;
  neuron.gain = gain;
  double output = 0.0;
  neuron.output = &output;
  std::vector<double> out(net.size());
  for (std::size_t i = 0; i < net.size(); ++i) {
    fn(&neuron, net[i]);
    out[i] = output;
  }
  return out;
}

std::vector<double> Slice(const std::vector<double>& values, std::size_t first, std::size_t count) {
  return std::vector<double>(values.begin() + static_cast<std::ptrdiff_t>(first),
                             values.begin() + static_cast<std::ptrdiff_t>(first + count));
}

struct PlainCase {
  const char* name;
  ActFunction fn;
  void (*values)(SimdIsa, const double*, double*, int);
};

struct GainCase {
  const char* name;
  ActFunction fn;
  void (*values)(SimdIsa, double, const double*, double*, int);
};

TEST(ActivationArrays, EveryUnitGivesTheFunctionsBits) {
  const std::vector<double> net = TestSupport::ExpArguments();
  for (const PlainCase& c : {PlainCase{"sigmoid", SigmoidFunction, SigmoidValues},
                             PlainCase{"tanh", TanhFunction, TanhValues}}) {
    const std::vector<double> expected = NeuronByNeuron(c.fn, 1.0, net);
    for (const SimdIsa isa : TestSupport::SupportedIsas()) {
      SCOPED_TRACE(IsaName(isa));
      std::vector<double> out(net.size() + 1);  // one double past a register boundary
      c.values(isa, net.data(), out.data() + 1, static_cast<int>(net.size()));
      ExpectSameBits(net, expected, Slice(out, 1, net.size()), c.name);
    }
  }
}

TEST(ActivationArrays, EveryUnitGivesTheGainFunctionsBits) {
  const std::vector<double> all = TestSupport::ExpArguments();
  const std::vector<double> net = Slice(all, 0, 100000);
  for (const GainCase& c : {GainCase{"sigmoid-gain", SigmoidGainFunction, SigmoidGainValues},
                            GainCase{"tanh-gain", TanhGainFunction, TanhGainValues}}) {
    for (const double gain : {1.0, 0.5, -2.0, 1e-3, 3.7, 0.0}) {
      const std::vector<double> expected = NeuronByNeuron(c.fn, gain, net);
      for (const SimdIsa isa : TestSupport::SupportedIsas()) {
        SCOPED_TRACE(testing::Message() << IsaName(isa) << ", gain " << gain);
        std::vector<double> out = net;
        c.values(isa, gain, out.data(), out.data(), static_cast<int>(out.size()));
        ExpectSameBits(net, expected, out, c.name);
      }
    }
  }
}

// ActivateValues as batch recall and training call it: in place, any length.
TEST(ActivationArrays, ActivateValuesGivesTheFunctionsBitsForEveryLengthAndStart) {
  const std::vector<double> all = TestSupport::ExpArguments();
  TGainNeuron neuron;
  neuron.gain = 0.75;
  double output = 0.0;
  neuron.output = &output;
  std::size_t next = 0;
  std::vector<int> lengths;
  for (int n = 0; n <= 20; ++n) lengths.push_back(n);
  for (int n : {255, 256, 257, 511, 513, 1000}) lengths.push_back(n);
  for (const ActFunction fn : {SigmoidFunction, SigmoidGainFunction, TanhFunction, TanhGainFunction}) {
    for (const int n : lengths) {
      for (int start = 0; start < 8; ++start) {
        SCOPED_TRACE(testing::Message() << n << " values from " << start);
        const std::vector<double> net = Slice(all, next, static_cast<std::size_t>(n));
        next += static_cast<std::size_t>(n);
        std::vector<double> buffer(static_cast<std::size_t>(start + n + 1), 7.0);
        std::copy(net.begin(), net.end(), buffer.begin() + start);
        ActivateValues(fn, &neuron, buffer.data() + start, n);
        ExpectSameBits(net, NeuronByNeuron(fn, neuron.gain, net),
                       Slice(buffer, static_cast<std::size_t>(start), net.size()), "ActivateValues");
        EXPECT_EQ(buffer.back(), 7.0);
      }
    }
  }
}

// A layer's Activate: the array form for a plain sigmoid or tanh layer
// (simple or gain), neuron by neuron otherwise, with the same outputs either way, in
// place and from another array.
TEST(ActivationArrays, LayerActivateGivesEachNeuronsFunctionsBits) {
  const std::vector<double> all = TestSupport::ExpArguments();
  TBasicNetwork network(2);
  auto* simple = new TSimpleLayer(&network, 0, 301);
  auto* gain = new TGainLayer(&network, 1, 301, 1.5);
  network.SetLayer(0, simple);
  network.SetLayer(1, gain);
  std::size_t next = 0;
  auto check = [&](TBasicLayer& layer, const char* what) {
    SCOPED_TRACE(what);
    const std::vector<double> net = Slice(all, next, layer.outputs.size());
    next += net.size();
    std::vector<double> expected(net.size());
    for (int i = 0; i < layer.numNeurons; ++i) {
      TBasicNeuron* neuron = layer.GetNeuron(i);
      neuron->actFn(neuron, net[static_cast<std::size_t>(i)]);
      expected[static_cast<std::size_t>(i)] = *neuron->output;
    }
    layer.outputs.assign(net.size(), 0.0);
    layer.Activate(net.data());
    ExpectSameBits(net, expected, layer.outputs, "from another array");
    layer.outputs = net;
    layer.Activate(layer.outputs.data());
    ExpectSameBits(net, expected, layer.outputs, "in place");
  };
  simple->SetActivationFunction(SigmoidFunction);
  check(*simple, "simple layer, sigmoid");
  gain->SetActivationFunction(SigmoidFunction);
  check(*gain, "gain layer, sigmoid");
  gain->SetActivationFunction(SigmoidGainFunction);
  gain->nodes[7].gain = -0.25;
  check(*gain, "gain layer, sigmoid-gain with its own gains");
  simple->SetActivationFunction(TanhFunction);
  check(*simple, "simple layer, tanh");
  gain->SetActivationFunction(TanhFunction);
  check(*gain, "gain layer, tanh");
  simple->SetActivationFunction(SigmoidFunction);
  simple->nodes[3].actFn = TanhFunction;
  simple->commonFn = nullptr;
  check(*simple, "simple layer, mixed functions");
}

// A neuron whose output pointer was moved off the layer's array still gets
// its output where the pointer says, as the neuron-by-neuron loop gives it.
TEST(ActivationArrays, LayerActivateHonoursMovedOutputPointers) {
  TBasicNetwork network(1);
  auto* layer = new TSimpleLayer(&network, 0, 5);
  network.SetLayer(0, layer);
  layer->SetActivationFunction(SigmoidFunction);
  double elsewhere = 0.0;
  layer->nodes[2].output = &elsewhere;
  const std::vector<double> net = {-1.0, 0.5, 2.0, -600.0, 30.0};
  layer->outputs.assign(5, -9.0);
  layer->Activate(net.data());
  EXPECT_EQ(elsewhere, SigmoidOf(2.0));
  EXPECT_EQ(layer->outputs[2], -9.0);
  EXPECT_EQ(layer->outputs[0], SigmoidOf(-1.0));
  EXPECT_EQ(layer->outputs[3], 1e-300);
}

}  // namespace
