// TNetworkGradient::AddBatchGradient: the forward and backward passes of a
// group of patterns at once.
//
// The group's values lie neuron-major (a neuron's values for the patterns of
// the group side by side, kGroupRows apart), the layout of batch recall: the
// forward pass runs each block's AccumulateNetInputBatch, the backward pass
// the group loops of BackwardKernels, so each weight is loaded once per
// group. Every pattern meets the operations of AddPatternGradient in their
// order: layers and blocks in the same sequence, each gradient cell's terms
// by pattern ascending (the patterns of one group, then of the next), each
// pattern's errors and deltas from its own values only. Hence the same bits.
#include <cstddef>
#include <typeinfo>

#include "NeuralNets/TBasicNetwork.h"
#include "Training/BackwardKernels.h"
#include "Training/SlopeArrays.h"
#include "Training/TNetworkGradient.h"

namespace {

// Patterns per group: the values of a group of 512-neuron layers (four
// arrays per layer) stay in the processor's second-level cache.
constexpr int kGroupRows = 32;

double* Column(std::vector<double>& group, int neuron) {
  return group.data() + static_cast<std::size_t>(neuron) * kGroupRows;
}

// Whether |fn| gives every neuron the same output for the same net input
// (it reads nothing else of the neuron: no gain, not a caller's function),
// so that a layer sharing it can be activated as one array.
bool ActsAlike(ActFunction fn) {
  return fn == BiasFunction || fn == LinearFunction || fn == SaturatedLinearFunction || fn == SigmoidFunction ||
         fn == TanhFunction;
}

}  // namespace

// Whether every computed layer activates its neurons as the group pass does
// (ActivateValues with the layer's common or each neuron's function).
bool TNetworkGradient::GroupsApply() const {
  for (int k = 0; k <= lastLayer_; ++k) {
    if (k == network_.inLayer) continue;
    const TBasicLayer& layer = *network_.layers[k];
    const std::type_info& type = typeid(layer);
    if (type != typeid(TSimpleLayer) && type != typeid(TGainLayer)) return false;
  }
  return true;
}

void TNetworkGradient::AllocateGroups() {
  if (!groupNet_.empty()) return;
  for (auto* group : {&groupNet_, &groupOut_, &groupError_, &groupDelta_}) {
    group->resize(static_cast<std::size_t>(lastLayer_) + 1);
    for (int k = 0; k <= lastLayer_; ++k) {
      const std::size_t n = static_cast<std::size_t>(network_.layers[k]->numNeurons);
      (*group)[static_cast<std::size_t>(k)].assign(n * kGroupRows, 0.0);
    }
  }
}

// The outputs of the group's |rows| patterns, from pattern |first| on.
void TNetworkGradient::CopyGroupOutputs(int first, int rows, double* outputs) {
  const std::size_t nOut = static_cast<std::size_t>(numOutputs_);
  const std::vector<double>& y = groupOut_[static_cast<std::size_t>(lastLayer_)];
  for (int r = 0; r < rows; ++r) {
    for (std::size_t o = 0; o < nOut; ++o) {
      outputs[static_cast<std::size_t>(first + r) * nOut + o] = y[o * kGroupRows + static_cast<std::size_t>(r)];
    }
  }
}

void TNetworkGradient::AddBatchGradient(const double* const* inputs, const double* const* targets, int count,
                                        double* gradient, double* outputs) {
  RunBatch(inputs, targets, count, gradient, outputs);
}

void TNetworkGradient::ForwardBatch(const double* const* inputs, int count, double* outputs) {
  RunBatch(inputs, nullptr, count, nullptr, outputs);
}

// Both batch passes: forward, and backward too where |targets| is given.
void TNetworkGradient::RunBatch(const double* const* inputs, const double* const* targets, int count,
                                double* gradient, double* outputs) {
  const std::size_t nOut = static_cast<std::size_t>(numOutputs_);
  if (!GroupsApply()) {
    for (int i = 0; i < count; ++i) {
      const double* y = targets != nullptr ? AddPatternGradient(inputs[i], targets[i], gradient) : Forward(inputs[i]);
      for (std::size_t o = 0; o < nOut; ++o) outputs[static_cast<std::size_t>(i) * nOut + o] = y[o];
    }
    return;
  }
  AllocateGroups();
  for (int first = 0; first < count; first += kGroupRows) {
    const int rows = count - first < kGroupRows ? count - first : kGroupRows;
    ForwardGroup(inputs + first, rows);
    CopyGroupOutputs(first, rows, outputs);
    if (targets != nullptr) BackwardGroup(targets + first, rows, gradient);
  }
}

void TNetworkGradient::ForwardGroup(const double* const* inputs, int rows) {
  TBasicNetwork& net = network_;
  for (int k = 0; k <= lastLayer_; ++k) {
    TBasicLayer* layer = net.layers[k];
    std::vector<double>& out = groupOut_[static_cast<std::size_t>(k)];
    if (k == net.inLayer) {
      BackwardKernels::RowsToGroup(inputs, layer->numNeurons, rows, out.data(), kGroupRows);
      groupInputs_ = inputs;
      continue;
    }
    std::vector<double>& netInput = groupNet_[static_cast<std::size_t>(k)];
    for (double& value : netInput) value = 0.0;
    for (const Incoming& in : incoming_[static_cast<std::size_t>(k)]) {
      in.block->AccumulateNetInputBatch(groupOut_[static_cast<std::size_t>(in.fromLayer)].data(), rows, kGroupRows,
                                        netInput.data());
    }
    out = netInput;
    if (ActsAlike(layer->commonFn) && layer->numNeurons > 0) {
      // All rows of the group at once, the unused ones too (their net
      // inputs are the zeros set above): one call instead of one a neuron.
      ActivateValues(layer->commonFn, layer->GetNeuron(0), out.data(), layer->numNeurons * kGroupRows);
      continue;
    }
    for (int i = 0; i < layer->numNeurons; ++i) {
      TBasicNeuron* neuron = layer->GetNeuron(i);
      const ActFunction fn = layer->commonFn != nullptr ? layer->commonFn : neuron->actFn;
      ActivateValues(fn, neuron, Column(out, i), rows);
    }
  }
}

// The outputs of layer |k| for the group's rows, row by row: the input rows
// themselves for the input layer, a row-major copy for any other.
const double* const* TNetworkGradient::SourceRows(int k, int rows) {
  sourceRowPointers_.resize(static_cast<std::size_t>(rows));
  if (k == network_.inLayer) {
    for (int r = 0; r < rows; ++r) sourceRowPointers_[static_cast<std::size_t>(r)] = groupInputs_[r];
    return sourceRowPointers_.data();
  }
  const std::size_t n = static_cast<std::size_t>(network_.layers[k]->numNeurons);
  // Rows a cache line more apart than their length, so that rows of a
  // power-of-two length do not all fall into the same sets of the cache.
  const std::size_t pitch = n + 8;
  // Grown, never shrunk: the blocks of a group take turns.
  const std::size_t size = pitch * static_cast<std::size_t>(rows);
  if (sourceRows_.size() < size) sourceRows_.resize(size);
  BackwardKernels::GroupToRows(groupOut_[static_cast<std::size_t>(k)].data(), static_cast<int>(n), rows,
                                  kGroupRows, sourceRows_.data(), static_cast<int>(pitch));
  for (int r = 0; r < rows; ++r) sourceRowPointers_[static_cast<std::size_t>(r)] = sourceRows_.data() + r * pitch;
  return sourceRowPointers_.data();
}

// Whether the backward pass needs the output errors of layer |k| (those of
// a layer below the output layer come from the blocks out of it): where a
// block into it or a gain can take a gradient from them.
bool TNetworkGradient::ReceivesErrors(int k) const {
  return k != network_.inLayer && (!incoming_[static_cast<std::size_t>(k)].empty() || !layout_.gains.empty());
}

// The slope entry every neuron of layer |k| shares, where it reads nothing
// of the neuron and no neuron's gain is trained; else null.
const TDerivativeTable::Entry* TNetworkGradient::SharedSlope(int k) const {
  const auto& slopes = slopes_[static_cast<std::size_t>(k)];
  const auto& gains = gainIndex_[static_cast<std::size_t>(k)];
  if (slopes.empty() || !SlopeIgnoresNeuron(*slopes[0])) return nullptr;
  for (std::size_t s = 0; s < slopes.size(); ++s) {
    if (slopes[s] != slopes[0] || gains[s] >= 0) return nullptr;
  }
  return slopes[0];
}

// The deltas of layer |k|'s neurons one by one, and the gradients of their
// trained gains.
void TNetworkGradient::SlopesByNeuron(int k, int rows, bool crossEntropyOutput, double* gradient) {
  const auto& gains = gainIndex_[static_cast<std::size_t>(k)];
  TBasicLayer* layer = network_.layers[k];
  std::vector<double>& netInput = groupNet_[static_cast<std::size_t>(k)];
  std::vector<double>& out = groupOut_[static_cast<std::size_t>(k)];
  std::vector<double>& err = groupError_[static_cast<std::size_t>(k)];
  std::vector<double>& delta = groupDelta_[static_cast<std::size_t>(k)];
    for (int i = 0; i < layer->numNeurons; ++i) {
      const std::size_t s = static_cast<std::size_t>(i);
      TBasicNeuron* neuron = layer->GetNeuron(i);
      const TDerivativeTable::Entry* slope = slopes_[static_cast<std::size_t>(k)][s];
      const double* e = Column(err, i);
      const double* n = Column(netInput, i);
      const double* y = Column(out, i);
      double* d = Column(delta, i);
      if (crossEntropyOutput) {
        const bool gain = slope->fn == SigmoidGainFunction;
        for (int r = 0; r < rows; ++r) d[r] = gain ? e[r] * static_cast<TGainNeuron*>(neuron)->gain : e[r];
        if (gains[s] >= 0) {
          for (int r = 0; r < rows; ++r) gradient[gains[s]] += e[r] * n[r];
        }
        continue;
      }
      MultiplyBySlopes(*slope, neuron, e, n, y, rows, d);
      if (gains[s] >= 0) {
        for (int r = 0; r < rows; ++r) gradient[gains[s]] += e[r] * slope->byGain(neuron, n[r], y[r]);
      }
    }
}

void TNetworkGradient::BackwardGroup(const double* const* targets, int rows, double* gradient) {
  TBasicNetwork& net = network_;
  // The errors the blocks pass back start from zero; the output layer's
  // are set below, and a layer no block passes errors to keeps its zeros.
  for (int k = 0; k < lastLayer_; ++k) {
    if (ReceivesErrors(k)) {
      for (double& value : groupError_[static_cast<std::size_t>(k)]) value = 0.0;
    }
  }
  {
    std::vector<double>& err = groupError_[static_cast<std::size_t>(lastLayer_)];
    std::vector<double>& y = groupOut_[static_cast<std::size_t>(lastLayer_)];
    for (int i = 0; i < numOutputs_; ++i) {
      for (int r = 0; r < rows; ++r) Column(err, i)[r] = Column(y, i)[r] - targets[r][i];
    }
  }
  for (int k = lastLayer_; k >= 0; --k) {
    if (k == net.inLayer) continue;
    TBasicLayer* layer = net.layers[k];
    std::vector<double>& netInput = groupNet_[static_cast<std::size_t>(k)];
    std::vector<double>& out = groupOut_[static_cast<std::size_t>(k)];
    std::vector<double>& err = groupError_[static_cast<std::size_t>(k)];
    std::vector<double>& delta = groupDelta_[static_cast<std::size_t>(k)];
    const bool crossEntropyOutput = k == lastLayer_ && error_ == TTrainingError::CrossEntropy;
    if (const TDerivativeTable::Entry* slope = SharedSlope(k); slope != nullptr && !crossEntropyOutput) {
      // All rows of the group at once, the unused ones too (their values
      // are never read): one call instead of one a neuron.
      MultiplyBySlopes(*slope, layer->GetNeuron(0), err.data(), netInput.data(), out.data(),
                       layer->numNeurons * kGroupRows, delta.data());
    } else {
      SlopesByNeuron(k, rows, crossEntropyOutput, gradient);
    }
    for (const Incoming& in : incoming_[static_cast<std::size_t>(k)]) {
      const std::size_t from = static_cast<std::size_t>(in.fromLayer);
      if (in.parameterBlock >= 0) {
        const TParameterLayout::Block& block = layout_.blocks[static_cast<std::size_t>(in.parameterBlock)];
        BackwardKernels::AccumulateGradientGroup(in.view, delta.data(), SourceRows(in.fromLayer, rows), rows,
                                                 kGroupRows, gradient + block.offset);
      }
      if (ReceivesErrors(in.fromLayer)) {
        BackwardKernels::PropagateErrorGroup(in.view, delta.data(), rows, kGroupRows, groupError_[from].data());
      }
    }
  }
}
