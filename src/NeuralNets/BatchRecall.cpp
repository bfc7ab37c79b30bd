// TBasicNetwork::RecallBatch: the forward pass of many rows at once.
//
// The rows go through the network in groups of kGroupRows. For a group,
// every layer keeps its values neuron-major (neuron i's values for the rows
// of the group side by side, kGroupRows apart), the layout in which the
// blocks' batch kernels load one weight and use it for every row of the
// group. Layer by layer, in the order Recall takes them, the net inputs of
// the group are gathered from the blocks of all lower layers, and then each
// goes through its neuron's activation function: a row gets the same
// operations in the same order as in Recall, hence the same bits.
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
// few enough that the values of a group of 1000-neuron layers (512 KB)
// stay in the processor's second-level cache.
constexpr int kGroupRows = 64;

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
    const TBasicLayer& layer = *network.layers[k];
    const std::type_info& type = typeid(layer);
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

// Copies |rows| rows of n values each into the group's neuron-major layout,
// eight neurons at a time: each row's eight values are one cache line, and
// the eight neurons' lines of the group are written side by side.
void TransposeRows(const double* rowMajor, std::size_t n, int rows, double* group) {
  constexpr std::size_t kBlock = 8;
  for (std::size_t i0 = 0; i0 < n; i0 += kBlock) {
    const std::size_t i1 = i0 + kBlock < n ? i0 + kBlock : n;
    for (int r = 0; r < rows; ++r) {
      const double* row = rowMajor + static_cast<std::size_t>(r) * n;
      for (std::size_t i = i0; i < i1; ++i) group[i * kGroupRows + static_cast<std::size_t>(r)] = row[i];
    }
  }
}

// Net inputs from the blocks of all lower layers, then each neuron's
// function, with the function and operand Activate gives it. The functions
// hold no state, so taking the rows neuron by neuron (along the group's
// layout) rather than row by row changes no result.
void RecallLayerGroup(TBasicNetwork& network, int k, GroupValues& values, int rows) {
  TBasicLayer& layer = *network.layers[k];
  double* group = values.Layer(k);
  const int n = layer.numNeurons;
  for (std::size_t i = 0; i < static_cast<std::size_t>(n) * kGroupRows; ++i) group[i] = 0.0;
  TBasicConnections** blocks = network.priv_conns_index[k];
  for (int from = 0; from < k; ++from) {
    blocks[from]->AccumulateNetInputBatch(values.Layer(from), rows, kGroupRows, group);
  }
  for (int i = 0; i < n; ++i) {
    TBasicNeuron* neuron = layer.GetNeuron(i);
    const ActFunction fn = layer.commonFn != nullptr ? layer.commonFn : neuron->actFn;
    ActivateValues(fn, neuron, &GroupValues::At(group, i, 0), rows);
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
    TransposeRows(groupInput, nIn, groupRows, values.Layer(inLayer));
    for (int k = 0; k < numLayers; ++k) {
      if (k != inLayer) RecallLayerGroup(*this, k, values, groupRows);
    }
    const double* out = values.Layer(outLayer);
    double* groupOutput = output + static_cast<std::size_t>(first) * nOut;
    for (int r = 0; r < groupRows; ++r) {
      for (std::size_t i = 0; i < nOut; ++i) {
        groupOutput[r * nOut + i] = out[i * kGroupRows + static_cast<std::size_t>(r)];
      }
    }
  }
  // Every layer's outputs as Recall of the last row leaves them.
  for (int k = 0; k < numLayers; ++k) {
    double* group = values.Layer(k);
    for (int i = 0; i < layers[k]->numNeurons; ++i) layers[k]->outputs[i] = GroupValues::At(group, i, groupRows - 1);
  }
}
