// GenerateMLP: a new multilayer perceptron with random initial weights, the
// network that the Netforge tool writes for the same settings.
//
// Every program that must reproduce the tool's networks (the tool itself, the
// Python module) builds them here, so that one seed and one set of sizes give
// the same weights everywhere. The result belongs to the caller.
//
// Not thread-safe: the weights are drawn from the C library's rand(), which
// is seeded here (srand), so no other thread may use rand() meanwhile.
#ifndef NETFORGE_NEURALNETS_GENERATEMLP_H
#define NETFORGE_NEURALNETS_GENERATEMLP_H

#include <memory>
#include <vector>

#include "NeuralNets/TMLPNetwork.h"

// The most layers GenerateMLP builds. A network keeps a block for every
// ordered pair of layers, so beyond this the empty blocks alone would take
// gigabytes; no layered network needs as many.
inline constexpr int kMaxGeneratedLayers = 4096;

// Builds TMLPNetwork(layerSizes.size(), layerSizes, bias), seeds rand() with
// |seed| and randomises every trainable weight from [minWeight, maxWeight)
// in block order. |layerSizes| must hold at least one size and every size
// must be positive; callers check that first (TException "Bad Parameter"
// otherwise). More than kMaxGeneratedLayers layers or more than INT_MAX
// weights throw std::length_error ("more than N layers", "more than N
// weights") before anything is allocated.
std::unique_ptr<TMLPNetwork> GenerateMLP(const std::vector<int>& layerSizes, bool bias, double minWeight,
                                         double maxWeight, unsigned seed);

#endif  // NETFORGE_NEURALNETS_GENERATEMLP_H
