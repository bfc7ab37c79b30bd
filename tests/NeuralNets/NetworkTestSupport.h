// Small builders and expectations shared by the network model tests.
#ifndef NETFORGE_TESTS_NEURALNETS_NETWORKTESTSUPPORT_H
#define NETFORGE_TESTS_NEURALNETS_NETWORKTESTSUPPORT_H

#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <vector>

#include "NeuralNets/TBasicNetwork.h"

namespace nettest {

// A TBasicNetwork with one TSimpleLayer per size, all with |fn|, no pair
// connected.
inline std::unique_ptr<TBasicNetwork> SimpleNetwork(std::initializer_list<int> sizes,
                                                    ActFunction fn = LinearFunction) {
  auto network = std::make_unique<TBasicNetwork>(static_cast<int>(sizes.size()));
  int k = 0;
  for (int size : sizes) {
    network->SetLayer(k, new TSimpleLayer(network.get(), k, size));
    network->layers[k]->SetActivationFunction(fn);
    ++k;
  }
  return network;
}

// |x| as a run-time value. Expected results of exp and tanh must be computed
// at run time like the library's: with constant arguments the compiler would
// evaluate them at build time, correctly rounded, which the C library need
// not be.
inline double Opaque(double x) {
  volatile double value = x;
  return value;
}

// The random weight formula written out independently of the library: one
// rand() per weight, k = rand() % 32767 as an unsigned remainder, scaled in
// long double.
inline double ExpectedRandomWeight(double min, double max) {
  const unsigned k = static_cast<unsigned>(std::rand()) % 32767u;
  const long double scale = 1.0L / 32767;
  const long double span = static_cast<long double>(max) - static_cast<long double>(min);
  return static_cast<double>(static_cast<long double>(k) * scale * span + static_cast<long double>(min));
}

inline std::vector<double> ExpectedRandomWeights(unsigned seed, int count, double min, double max) {
  std::srand(seed);
  std::vector<double> values;
  for (int i = 0; i < count; ++i) values.push_back(ExpectedRandomWeight(min, max));
  return values;
}

// The weights of a network in block order.
inline std::vector<double> AllWeights(TBasicNetwork& network, int mask = FMaskExists) {
  std::vector<double> values(static_cast<std::size_t>(network.GetNumWeights(mask)));
  network.GetWeights(values.data(), mask);
  return values;
}

}  // namespace nettest

#endif  // NETFORGE_TESTS_NEURALNETS_NETWORKTESTSUPPORT_H
