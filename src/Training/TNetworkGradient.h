// TNetworkGradient: forward and backward passes of a feed-forward network,
// giving the gradient of a training error with respect to its trainable
// weights (and, optionally, its gains).
//
// It works on any network the library holds whose connected blocks all lead
// from a lower into a higher layer: multilayer perceptrons, connected
// networks, and general networks read from files with shortcut blocks (layer
// k into any higher layer) and bias layers, with TPrunedConnections (pruned
// and frozen connections honoured) and TConnectedConnections blocks.
//
// The constructor checks the network and throws TException (kind "Untrainable
// Network") before anything is touched when it cannot be trained: a block into
// the same or a lower layer (recurrent), a block class other than the two
// above, an input layer that is not an input-type layer or an input-type
// layer elsewhere, a neuron function without a known derivative, a gain
// function on a neuron without a gain, cross-entropy on outputs that are not
// sigmoid. A network with nothing to train is accepted (Layout().trainable
// is 0); TTrainer refuses it.
//
// Parameters: every connection that exists and is trainable in a block into
// a layer between the input layer (exclusive) and the output layer
// (inclusive); blocks into the input layer or above the output layer do not
// change the outputs and are left alone. With |trainGains|, also the gain of
// every gain neuron whose function has a gain derivative. The gradient is one
// flat array (Layout().size values): each parameter block's cells in its
// storage order (target-major, nTo * nFrom, with zeros at cells that are not
// trainable), blocks in the network's block order, then the gains.
//
// Errors: SumSquared is E = 1/2 sum over patterns and outputs of (t - y)^2,
// half the sum that TErrorRMSObj accumulates; CrossEntropy is the sum that
// TErrorCrossEntropyObj accumulates, with dE/dnet = y - t (times the gain
// for "sigmoid-gain") at the outputs.
//
// Forward pass: the sums of TBasicNetwork::Recall (each block's
// AccumulateNetInput into a zeroed net-input vector, or the same kernel
// without flag tests where every connection exists, then the layer's
// Activate), so outputs are bit for bit those of Recall, without Recall's
// warnings; the net inputs are kept for the derivatives.
//
// The network must outlive this object and keep its structure (layers,
// sizes, blocks, flags) while it exists; weights and gains may change. Not
// thread-safe: one object per thread.
#ifndef NETFORGE_TRAINING_TNETWORKGRADIENT_H
#define NETFORGE_TRAINING_TNETWORKGRADIENT_H

#include <cstddef>
#include <vector>

#include "NeuralNets/TBasicConnections.h"
#include "Training/ActDerivatives.h"
#include "Training/BlockBackward.h"

class TBasicNetwork;
class TBasicConnections;
class TGainNeuron;

enum class TTrainingError { SumSquared, CrossEntropy };

// The trainable parameters of a network, as the gradient lays them out.
struct TParameterLayout {
  struct Block {
    TBasicConnections* block;
    int fromLayer;
    int toLayer;
    TBlockView view;
    double* weights;             // nTo * nFrom weights, contiguous, target-major
    const unsigned char* flags;  // the same cells' flags; null when all are trainable
    std::size_t offset;          // of the first cell in the gradient
    std::size_t cells;           // nTo * nFrom
    bool allTrainable;           // every cell exists and is trainable
  };
  struct Gain {
    TGainNeuron* neuron;
    std::size_t offset;
  };
  std::vector<Block> blocks;
  std::vector<Gain> gains;
  std::size_t size = 0;       // values in the gradient
  std::size_t trainable = 0;  // parameters that training changes

  // Calls fn(value, gradientIndex) for every trainable parameter: block
  // cells that exist and are trainable in block and storage order, then the
  // gains. The loop order is fixed, so state kept by index is reproducible.
  template <class Fn>
  void ForEach(Fn&& fn) const {
    for (const Block& b : blocks) {
      if (b.allTrainable) {
        for (std::size_t i = 0; i < b.cells; ++i) fn(b.weights[i], b.offset + i);
        continue;
      }
      for (std::size_t i = 0; i < b.cells; ++i) {
        if ((b.flags[i] & FMaskAll) == FMaskAll) fn(b.weights[i], b.offset + i);
      }
    }
    for (const Gain& g : gains) fn(GainValue(g), g.offset);
  }

  // The parameters of ForEach in the same order, as runs of neighbours for
  // loops that vectorise: calls fn(values, gradientIndex, count), where
  // values[i] is the parameter at gradientIndex + i for i < count. A run
  // ends where a cell is not trainable; each gain is a run of its own.
  template <class Fn>
  void ForEachRun(Fn&& fn) const {
    for (const Block& b : blocks) {
      const auto trainable = [&b](std::size_t i) { return b.allTrainable || (b.flags[i] & FMaskAll) == FMaskAll; };
      std::size_t first = 0;
      while (first < b.cells) {
        std::size_t end = first;
        while (end < b.cells && trainable(end)) ++end;
        if (end > first) fn(b.weights + first, b.offset + first, end - first);
        first = end + 1;  // past the cell that ended the run
      }
    }
    for (const Gain& g : gains) fn(&GainValue(g), g.offset, std::size_t{1});
  }

 private:
  static double& GainValue(const Gain& g);
};

class TNetworkGradient {
 public:
  // Checks the network as described above (throws TException) and lays out
  // its parameters. |derivatives| must outlive this object.
  TNetworkGradient(TBasicNetwork& network, const TDerivativeTable& derivatives, TTrainingError error,
                   bool trainGains);
  TNetworkGradient(const TNetworkGradient&) = delete;
  TNetworkGradient& operator=(const TNetworkGradient&) = delete;

  int NumInputs() const { return numInputs_; }
  int NumOutputs() const { return numOutputs_; }
  const TParameterLayout& Layout() const { return layout_; }
  TBasicNetwork& Network() const { return network_; }

  // Runs |input| (NumInputs values) through the network; returns the output
  // layer's NumOutputs values, valid until the next pass.
  const double* Forward(const double* input);

  // Forward pass of |input|, then adds the gradient of this pattern's error
  // against |target| to |gradient| (Layout().size values). Returns the
  // outputs as Forward does.
  const double* AddPatternGradient(const double* input, const double* target, double* gradient);

  // Gradient descent on one pattern in one pass, without a gradient array:
  // the forward pass of |input|, then every trainable parameter takes its
  // momentum step (UpdateCells::Descend) on its gradient against |target|,
  // with its velocity at its gradient index in |velocity| (Layout().size
  // values). The bits are those of AddPatternGradient into a zeroed gradient
  // followed by that step on every parameter. Returns the outputs as Forward
  // does (those of the weights before the step).
  const double* DescendPattern(const double* input, const double* target, double rate, double momentum,
                               double* velocity);

  // AddPatternGradient for |count| patterns (inputs[i] and targets[i]) in
  // turn, with the same bits in |gradient|, pattern i's outputs written to
  // outputs + i * NumOutputs() (TNetworkGradientBatch.cpp). The patterns
  // pass through each block in groups, each weight loaded once per group,
  // where every layer is a simple or gain layer; otherwise one by one. The
  // layers' outputs are left unspecified.
  void AddBatchGradient(const double* const* inputs, const double* const* targets, int count, double* gradient,
                        double* outputs);
  // Forward for |count| patterns, pattern i's outputs written to outputs + i
  // * NumOutputs(), in groups as AddBatchGradient passes them.
  void ForwardBatch(const double* const* inputs, int count, double* outputs);

 private:
  // The checks of the constructor, then the layout of the parameters and
  // of the per-layer buffers.
  void CheckBlocks();
  void CheckNeurons(const TDerivativeTable& derivatives);
  void LayOut(bool trainGains);
  // How DescendPattern spends the gradient.
  struct Descent {
    double rate;
    double momentum;
    double* velocity;
  };
  // The backward pass after Forward: adds the gradient to |gradient|, or,
  // with |descent| (and a null |gradient|), spends it as DescendPattern does.
  void Backward(const double* target, double* gradient, const Descent* descent);
  double& GainGradient(long index, double* gradient);
  bool GroupsApply() const;
  void RunBatch(const double* const* inputs, const double* const* targets, int count, double* gradient,
                double* outputs);
  void AllocateGroups();
  void CopyGroupOutputs(int first, int rows, double* outputs);
  void ForwardGroup(const double* const* inputs, int rows);
  void BackwardGroup(const double* const* targets, int rows, double* gradient);
  bool ReceivesErrors(int k) const;
  const TDerivativeTable::Entry* SharedSlope(int k) const;
  void SlopesByNeuron(int k, int rows, bool crossEntropyOutput, double* gradient);
  const double* const* SourceRows(int k, int rows);

  TBasicNetwork& network_;
  TTrainingError error_;
  int numInputs_ = 0;
  int numOutputs_ = 0;
  int lastLayer_ = 0;  // the output layer: layers above it are not computed
  TParameterLayout layout_;
  // Per layer (0 .. lastLayer_): net inputs, output errors dE/dy and deltas
  // dE/dnet, and the derivative entry of each neuron (null for the input layer).
  std::vector<std::vector<double>> net_;
  std::vector<std::vector<double>> outputError_;
  std::vector<std::vector<double>> delta_;
  std::vector<std::vector<const TDerivativeTable::Entry*>> slopes_;
  // Per layer: the connected blocks into it (with the parameter block index,
  // or -1 when its weights are not parameters), and the gradient index of
  // each neuron's gain (or -1).
  struct Incoming {
    int fromLayer;
    TBasicConnections* block;
    TBlockView view;
    int parameterBlock;
  };
  std::vector<std::vector<Incoming>> incoming_;
  std::vector<std::vector<long>> gainIndex_;
  std::vector<double> gainGradient_;  // the gains' gradient in DescendPattern
  // Per layer, for a group of patterns (AddBatchGradient), neuron-major:
  // net inputs, outputs, output errors and deltas; and one block's source
  // outputs row by row (SourceRows).
  std::vector<std::vector<double>> groupNet_, groupOut_, groupError_, groupDelta_;
  const double* const* groupInputs_ = nullptr;  // the group's input rows, during one AddBatchGradient
  std::vector<double> sourceRows_;
  std::vector<const double*> sourceRowPointers_;
};

#endif  // NETFORGE_TRAINING_TNETWORKGRADIENT_H
