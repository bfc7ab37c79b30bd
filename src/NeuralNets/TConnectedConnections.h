// TConnectedConnections: a full weight matrix without flags.
//
// Every source neuron is connected to every target neuron and every
// connection is trainable; connections cannot be pruned or frozen. Type name
// "FullyConnected". The block that TConnectedNetwork::Connect creates.
//
// Storage as in TPrunedConnections: |array_weights| holds nTo rows of nFrom
// weights, |index_weights| points at the rows; the block owns both.
//
// Weight order: GetWeights and SetWeights walk the matrix source-major (all
// targets of source 0, then of source 1, ...), while Iterate, Randomize and
// AccumulateNetInput walk it target-major. A vector taken with GetWeights
// must therefore be put back with SetWeights of this class.
#ifndef NETFORGE_NEURALNETS_TCONNECTEDCONNECTIONS_H
#define NETFORGE_NEURALNETS_TCONNECTEDCONNECTIONS_H

#include <vector>

#include "NeuralNets/TBasicNetwork.h"

class TConnectedConnections : public TBasicConnections {
 public:
  std::vector<double> array_weights;   // nTo * nFrom weights, row by row
  std::vector<double*> index_weights;  // index_weights[t]: row t of array_weights

  // A block between two installed layers of |network| with every weight 0.0.
  // The layer numbers must be valid and both layers installed (consistency
  // checks). Throws std::length_error if nFrom * nTo does not fit an int.
  TConnectedConnections(TBasicNetwork* network, int fromLayer, int toLayer);

  int GetNumWeights(int mask) override;                 // nFrom * nTo; |mask| ignored
  int GetWeights(double* out, int mask) override;       // source-major; |mask| ignored
  int SetWeights(const double* in, int mask) override;  // source-major; |mask| ignored
  // Every weight, target-major: min when min equals max, else one rand() each.
  void Randomize(double min, double max) override;
  double& Weight(int from, int to) override { return index_weights[to][from]; }
  void AccumulateNetInput(double* net) override;
  void AccumulateNetInputBatch(const double* source, int batch, int stride, double* net) override;
  bool IsValid(int from, int to) override;   // true
  void AddConnection(int from, int to) override;  // nothing to do
  void SetTrainable(int from, int to) override;   // nothing to do
  // Traversals visit every connection with |trainable| true; |mask| ignored.
  void IterateIn(TIterateObj& v, int to, int mask) override;
  void IterateOut(TIterateObj& v, int from, int mask) override;
  void Iterate(TIterateObj& v, int mask) override;
  void Iterate2(TIterateObj2& v, TBasicNetwork* other, int mask) override;
  void Iterate3(TIterateObj3& v, TBasicNetwork* other2, TBasicNetwork* other3, int mask) override;
  const char* GetConnectionsNType() override;
  TBasicConnections* Clone(TBasicNetwork* newNetwork) override;
  // As in TPrunedConnections. Insertion requires |attached| (check
  // "attached"): every new connection gets a random weight, one rand() each,
  // even when min equals max.
  void RemoveFromNode(int node) override;
  void RemoveToNode(int node) override;
  void InsertFromNode(int node, double min, double max, bool attached) override;
  void InsertToNode(int node, double min, double max, bool attached) override;

 private:
  TConnectedConnections(const TConnectedConnections& source, TBasicNetwork* newNetwork);
  void VisitCell(TIterateObj& v, int from, int to);
  void Shrink(int node);
  void Grow(int node, double min, double max);

  int storedFrom;  // the storage's shape (see TPrunedConnections)
  int storedTo;
};

#endif  // NETFORGE_NEURALNETS_TCONNECTEDCONNECTIONS_H
