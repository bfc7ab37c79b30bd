// TBasicNetwork::RecallBatch: the forward pass of many rows at once.
//
// The rows go through the network in groups of kGroupRows. For a group,
// every layer keeps its values neuron-major (neuron i's values for the rows
// of the group side by side, kGroupRows apart), the layout in which the
// blocks' batch kernels load one weight and use it for every row of the
// group. Layer by layer, in the order Recall takes them, the net inputs of
// the group are gathered from the blocks of all lower layers, and then each
// row's net inputs go through the layer's Activate as Recall passes them: a
// row gets the same operations in the same order as in Recall, hence the
// same bits.
//
// Only the classes whose Recall this reproduces take the fast path: the
// library's three network classes, an input layer (TSimpleInputLayer) at
// the input position and simple or gain layers elsewhere. Any other network
// is recalled row by row, which is what RecallBatch promises in any case.
#include <cstddef>
#include <typeinfo>
#include <vector>

#include "Common/Assert.h"
#include "NeuralNets/TBasicNetwork.h"
#include "NeuralNets/TConnectedNetwork.h"
#include "NeuralNets/TMLPNetwork.h"

namespace {

// Rows per group: enough that a weight loaded from memory serves many rows,
// few enough that the values of a group of 1000-neuron layers stay in the
// processor's second-level cache.
constexpr int kGroupRows = 32;

bool IsKnownNetwork(const TBasicNetwork& network) {
  const std::type_info& type = typeid(network);
  return type == typeid(TBasicNetwork) || type == typeid(TMLPNetwork) || type == typeid(TConnectedNetwork);
}

// Whether Recall of every layer is the one the batch reproduces: the input
// layer copies the input, every other layer gathers its net input from the
// blocks of lower layers and activates it.
bool HasKnownLayers(const TBasicNetwork& network) {
  if (network.inLayer < 0 || network.inLayer >= network.numLayers) return false;
  for (int k = 0; k < network.numLayers; ++k) {
    const std::type_info& type = typeid(*network.layers[k]);
    if (k == network.inLayer ? type != typeid(TSimpleInputLayer)
                             : type != typeid(TSimpleLayer) && type != typeid(TGainLayer)) {
      return false;
    }
  }
  return true;
}

// The values of every layer for one group of rows, neuron-major.
class GroupValues {
 public:
  explicit GroupValues(const TBasicNetwork& network) : values_(static_cast<std::size_t>(network.numLayers)) {
    for (int k = 0; k < network.numLayers; ++k) {
      values_[static_cast<std::size_t>(k)].resize(static_cast<std::size_t>(network.layers[k]->numNeurons) *
                                                  kGroupRows);
    }
  }

  double* Layer(int k) { return values_[static_cast<std::size_t>(k)].data(); }
  static double& At(double* layer, int neuron, int row) {
    return layer[static_cast<std::size_t>(neuron) * kGroupRows + static_cast<std::size_t>(row)];
  }

 private:
  std::vector<std::vector<double>> values_;
};

// Net inputs from the blocks of all lower layers, then Activate row by row,
// with the layer's own output array as the row's net input (as in Recall).
void RecallLayerGroup(TBasicNetwork& network, int k, GroupValues& values, int rows) {
  TBasicLayer& layer = *network.layers[k];
  double* group = values.Layer(k);
  const int n = layer.numNeurons;
  for (std::size_t i = 0; i < static_cast<std::size_t>(n) * kGroupRows; ++i) group[i] = 0.0;
  TBasicConnections** blocks = network.priv_conns_index[k];
  for (int from = 0; from < k; ++from) blocks[from]->AccumulateNetInputBatch(values.Layer(from), rows, kGroupRows, group);
  double* outputs = layer.outputs.data();
  for (int r = 0; r < rows; ++r) {
    for (int i = 0; i < n; ++i) outputs[i] = GroupValues::At(group, i, r);
    layer.Activate(outputs);
    for (int i = 0; i < n; ++i) GroupValues::At(group, i, r) = outputs[i];
  }
}

}  // namespace

void TBasicNetwork::RecallBatch(const double* input, double* output, int rows) {
  NF_ASSERT(rows>=0);
  NF_ASSERT(outLayer>=0);
  NF_ASSERT(outLayer<numLayers);
  for (int k = 0; k < numLayers; ++k) NF_ASSERT(layers[k] != NULL);
  const bool hasInputLayer = inLayer >= 0 && inLayer < numLayers;
  const std::size_t nIn = hasInputLayer ? static_cast<std::size_t>(layers[inLayer]->numNeurons) : 0;
  const std::size_t nOut = static_cast<std::size_t>(layers[outLayer]->numNeurons);
  if (!IsKnownNetwork(*this) || !HasKnownLayers(*this)) {
    for (int r = 0; r < rows; ++r) Recall(input + r * nIn, output + r * nOut);
    return;
  }
  if (rows == 0) return;
  GroupValues values(*this);
  int groupRows = 0;
  for (int first = 0; first < rows; first += groupRows) {
    groupRows = rows - first < kGroupRows ? rows - first : kGroupRows;
    const double* groupInput = input + static_cast<std::size_t>(first) * nIn;
    double* in = values.Layer(inLayer);
    for (int r = 0; r < groupRows; ++r) {
      for (std::size_t i = 0; i < nIn; ++i) GroupValues::At(in, static_cast<int>(i), r) = groupInput[r * nIn + i];
    }
    for (int k = 0; k < numLayers; ++k) {
      if (k != inLayer) RecallLayerGroup(*this, k, values, groupRows);
    }
    double* out = values.Layer(outLayer);
    double* groupOutput = output + static_cast<std::size_t>(first) * nOut;
    for (int r = 0; r < groupRows; ++r) {
      for (std::size_t i = 0; i < nOut; ++i) groupOutput[r * nOut + i] = GroupValues::At(out, static_cast<int>(i), r);
    }
  }
  // Every layer's outputs as Recall of the last row leaves them.
  for (int k = 0; k < numLayers; ++k) {
    double* group = values.Layer(k);
    for (int i = 0; i < layers[k]->numNeurons; ++i) layers[k]->outputs[i] = GroupValues::At(group, i, groupRows - 1);
  }
}
