// TPrunedConnections: a full weight matrix with one flag byte per connection.
//
// Single connections can be removed (pruned), re-created, frozen and
// unfrozen. Type name "Pruneable". It is the block that TBasicNetwork::Connect
// creates, so every block of a multilayer perceptron is one.
//
// Storage: |array_weights| and |array_masks| hold nTo rows of nFrom values
// each (row t: the connections from source neurons 0 .. nFrom-1 into target
// t); |index_weights| and |index_masks| point at the rows. The block owns all
// four. A flag byte is a combination of FMaskExists and FMaskTrainable; a new
// connection has FMaskAll and weight 0.0, a pruned one flag 0 and weight 0.0.
// Weight order (GetWeights, SetWeights, Iterate, Randomize): target-major.
#ifndef NETFORGE_NEURALNETS_TPRUNEDCONNECTIONS_H
#define NETFORGE_NEURALNETS_TPRUNEDCONNECTIONS_H

#include <vector>

#include "NeuralNets/TBasicNetwork.h"

class TPrunedConnections : public TBasicConnections {
 public:
  std::vector<double> array_weights;          // nTo * nFrom weights, row by row
  std::vector<double*> index_weights;         // index_weights[t]: row t of array_weights
  std::vector<unsigned char> array_masks;     // the flag bytes, same shape and order
  std::vector<unsigned char*> index_masks;    // index_masks[t]: row t of array_masks

  // A block between two installed layers of |network| with every connection
  // present and trainable and every weight 0.0. The layer numbers must be
  // valid and both layers installed (consistency checks). Throws
  // std::length_error if nFrom * nTo does not fit an int.
  TPrunedConnections(TBasicNetwork* network, int fromLayer, int toLayer);

  void Randomize(double min, double max) override;
  double& Weight(int from, int to) override { return index_weights[to][from]; }
  void AccumulateNetInput(double* net) override;
  void AccumulateNetInputBatch(const double* source, int batch, int stride, double* net) override;
  bool IsValid(int from, int to) override;
  bool IsTrainable(int from, int to) override;
  void PruneConnection(int from, int to) override;
  void AddConnection(int from, int to) override;
  void SetTrainable(int from, int to) override;
  void SetUnTrainable(int from, int to) override;
  void IterateIn(TIterateObj& v, int to, int mask) override;
  void IterateOut(TIterateObj& v, int from, int mask) override;
  void Iterate(TIterateObj& v, int mask) override;
  void Iterate2(TIterateObj2& v, TBasicNetwork* other, int mask) override;
  void Iterate3(TIterateObj3& v, TBasicNetwork* other2, TBasicNetwork* other3, int mask) override;
  const char* GetConnectionsNType() override;
  unsigned char GetFlags(int from, int to) override;
  void SetFlags(int from, int to, unsigned char val) override;  // stored as given
  TBasicConnections* Clone(TBasicNetwork* newNetwork) override;
  // Node operations bring the matrix to the layers' current sizes. A block
  // connecting a layer with itself is resized in both dimensions by the first
  // of the two calls the network makes; the second then finds nothing to do.
  // Removal works in place and cannot fail. Insertion draws one rand() per
  // new connection when |attached| (even when min equals max): first the new
  // column target by target, then the new row source by source.
  void RemoveFromNode(int node) override;
  void RemoveToNode(int node) override;
  void InsertFromNode(int node, double min, double max, bool attached) override;
  void InsertToNode(int node, double min, double max, bool attached) override;

 private:
  TPrunedConnections(const TPrunedConnections& source, TBasicNetwork* newNetwork);
  // Required flag bits for a |mask| argument.
  static unsigned char Required(int mask) { return mask == FMaskExists ? FMaskExists : FMaskAll; }
  void VisitCell(TIterateObj& v, int from, int to, unsigned char flags);
  void Shrink(int node);
  void Grow(int node, double min, double max, bool attached);
  void PointAllRows();

  // The shape the storage currently has; equal to the layer sizes except
  // between a layer change and the node operation that follows it.
  int storedFrom;
  int storedTo;
};

#endif  // NETFORGE_NEURALNETS_TPRUNEDCONNECTIONS_H
