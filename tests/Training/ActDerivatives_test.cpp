// MultiplyBySlopes, the group form of a derivative, against the per-value
// calls it stands for: the same bits for every built-in derivative and for
// one a user registers, over runs of values of every length the vector loops
// split (whole registers and the values left over), special values included,
// with the loops of every vector unit the processor has.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "../NeuralNets/KernelTestSupport.h"
#include "NeuralNets/TBasicNeuron.h"
#include "Training/ActDerivatives.h"
#include "Training/SlopeArrays.h"

using namespace kerneltest;

namespace {

double OwnSlope(const TBasicNeuron*, double net, double y) { return net * 0.5 - y; }
void OwnFunction(TBasicNeuron*, double) {}

TEST(ActDerivatives, MultiplyBySlopesEqualsTheCallsBitForBit) {
  TDerivativeTable table;
  table.Register(OwnFunction, OwnSlope);
  TGainNeuron neuron;
  neuron.gain = -1.75;
  const ActFunction functions[] = {BiasFunction,       LinearFunction,      SaturatedLinearFunction,
                                   SigmoidFunction,    TanhFunction,        LinearGainFunction,
                                   SigmoidGainFunction, TanhGainFunction,   OwnFunction};
  unsigned seed = 1;
  for (const ActFunction fn : functions) {
    const TDerivativeTable::Entry* entry = table.Find(fn);
    ASSERT_NE(entry, nullptr);
    for (int n : {0, 1, 2, 3, 4, 5, 7, 8, 9, 16, 17, 33}) {
      ValueSource values(seed++, 0.2);
      const std::vector<double> e = Values(values, n), net = Values(values, n), y = Values(values, n);
      std::vector<double> expected(static_cast<std::size_t>(n)), actual(expected.size(), 3.0);
      for (std::size_t i = 0; i < expected.size(); ++i) expected[i] = e[i] * entry->byNet(&neuron, net[i], y[i]);
      MultiplyBySlopes(*entry, &neuron, e.data(), net.data(), y.data(), n, actual.data());
      ExpectSameBits(expected, actual, "slopes");
      for (const NetInputKernels::Isa isa : Implementations()) {
        std::fill(actual.begin(), actual.end(), 3.0);
        MultiplyBySlopes(isa, *entry, &neuron, e.data(), net.data(), y.data(), n, actual.data());
        ExpectSameBits(expected, actual, Name(isa));
      }
    }
  }
}

}  // namespace
