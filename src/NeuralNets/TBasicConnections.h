// Connection blocks: the weights from one layer into another.
//
// A network keeps one block for every ordered pair of its layers, at
// priv_conns_index[toLayer][fromLayer]. TBasicConnections is the abstract
// block; it supplies default counting, copying and randomising in terms of
// one traversal (Iterate) and the visitors of TIterateObj.h. A pair that is
// not connected holds a TEmptyConnections. The weight-carrying blocks are
// TPrunedConnections (a flag byte per connection) and TConnectedConnections
// (every connection present and trainable).
//
// Ownership: the network owns its blocks and destroys them with delete (the
// destructor is virtual); a block's |network| is a plain back pointer. A block
// stores no neuron counts of its own meaning: it reads the current counts of
// its two layers from the network, so the network resizes its blocks right
// after a layer grows or shrinks (the node operations below).
//
// Addressing: a connection is named (from, to): the source neuron index
// first, then the target neuron index, both counted within their layers.
// Weight-carrying blocks keep the weights into one target neuron in one
// contiguous row: &Weight(f, t) == &Weight(0, t) + f.
//
// Users normally include "NeuralNets/TBasicNetwork.h", which includes this.
#ifndef NETFORGE_NEURALNETS_TBASICCONNECTIONS_H
#define NETFORGE_NEURALNETS_TBASICCONNECTIONS_H

class TBasicNetwork;
class TIterateObj;
class TIterateObj2;
class TIterateObj3;

// Connection flags.
inline constexpr int FMaskExists = 1;     // the connection exists
inline constexpr int FMaskTrainable = 2;  // its weight may change
inline constexpr int FMaskAll = 3;        // exists and trainable: every connection of a new block

// The |mask| argument of counting, copying and traversal operations: the value
// FMaskExists selects every existing connection, any other value only the
// connections whose flags hold FMaskAll (existing and trainable).

class TBasicConnections {
 public:
  TBasicNetwork* network;  // the network that owns the block (not owned)
  int fromLayer;           // source layer number; rewritten when layers move
  int toLayer;             // target layer number; rewritten when layers move

  TBasicConnections(TBasicNetwork* network, int fromLayer, int toLayer);
  TBasicConnections(const TBasicConnections&) = delete;
  TBasicConnections& operator=(const TBasicConnections&) = delete;

  // Whether this is a real connection block (false only for the empty one).
  virtual bool IsConnected();
  // Number of selected connections.
  virtual int GetNumWeights(int mask);
  // Copies the selected weights to |out| in the block's weight order; returns
  // how many were written.
  virtual int GetWeights(double* out, int mask);
  // Overwrites the selected weights from |in| in the same order; returns how
  // many were read.
  virtual int SetWeights(const double* in, int mask);
  // Gives trainable weights random values from [min, max) (RandomWeight),
  // one rand() per weight in the block's storage order.
  virtual void Randomize(double min, double max);
  // The weight of one connection, for reading and writing. No range check.
  virtual double& Weight(int from, int to) = 0;
  // net[t] += sum over existing connections into t of source output * weight,
  // for every target neuron t. Each target's sum starts at 0.0 and takes the
  // sources in ascending order (sum = output * weight + sum), so results do
  // not depend on how the loop is compiled.
  virtual void AccumulateNetInput(double* net);
  // AccumulateNetInput for a group of |batch| rows at once, with bits equal
  // to those of one call per row: source neuron f's output for row r is
  // source[f * stride + r], target t's net input net[t * stride + r]
  // (0 <= batch <= stride). This default runs AccumulateNetInput row by row
  // and uses the source layer's output array as scratch space; the
  // weight-carrying blocks load each weight once per group.
  virtual void AccumulateNetInputBatch(const double* source, int batch, int stride, double* net);
  virtual bool IsValid(int from, int to) = 0;
  virtual bool IsTrainable(int from, int to);
  // The four edits fail the check "false" on a class that does not support them.
  virtual void PruneConnection(int from, int to);
  virtual void AddConnection(int from, int to);
  virtual void SetTrainable(int from, int to);
  virtual void SetUnTrainable(int from, int to);
  // Traversals: visit the selected connections into target |to| (sources
  // ascending), out of source |from| (targets ascending), or all of them
  // target-major. Each binds the visitor to this block's layer pair first.
  virtual void IterateIn(TIterateObj& v, int to, int mask) = 0;
  virtual void IterateOut(TIterateObj& v, int from, int mask) = 0;
  virtual void Iterate(TIterateObj& v, int mask) = 0;
  // As Iterate, pairing each weight with the weight at the same (from, to) in
  // the same layer pair of |other| (and |other3|). The blocks must be of the
  // same type and the networks of the same layer sizes.
  virtual void Iterate2(TIterateObj2& v, TBasicNetwork* other, int mask) = 0;
  virtual void Iterate3(TIterateObj3& v, TBasicNetwork* other2, TBasicNetwork* other3, int mask) = 0;
  // The type name stored in network files: "Empty", "FullyConnected" or
  // "Pruneable". Blocks of the same type have equal names.
  virtual const char* GetConnectionsNType() = 0;
  virtual unsigned char GetFlags(int from, int to);
  // Default: stores nothing; |val| must be FMaskAll or FMaskExists (check
  // "(val==FMaskAll) || (val==FMaskExists)").
  virtual void SetFlags(int from, int to, unsigned char val);
  virtual ~TBasicConnections() = default;
  // A new block of the same class for the same layer pair, held by
  // |newNetwork| (which must have the same layer sizes), with copies of all
  // weights and flags. Owned by the caller.
  virtual TBasicConnections* Clone(TBasicNetwork* newNetwork) = 0;
  // Node operations, called by the network right after the source (From) or
  // target (To) layer gained or lost the neuron at |node|: they bring the
  // block to the layers' new sizes. A new neuron's connections exist with
  // random weights when |attached|, otherwise they do not exist.
  virtual void RemoveFromNode(int node) = 0;
  virtual void RemoveToNode(int node) = 0;
  virtual void InsertFromNode(int node, double min, double max, bool attached);
  virtual void InsertToNode(int node, double min, double max, bool attached);

  // The flags of all existing connections in Iterate order, in a new array
  // of GetNumWeights(FMaskExists) bytes that the caller delete[]s.
  unsigned char* GetFlagArray();
  // Calls SetFlags with successive bytes of |flags| on all existing
  // connections in Iterate order.
  void SetFlagArray(const unsigned char* flags);
  // Calls SetUnTrainable on every existing connection.
  void SetAllUnTrainable();

  // The random weight of a trainable connection: |min| when min equals max
  // (rand() is not called), otherwise DrawRandomWeight.
  static double RandomWeight(double min, double max);
  // Always one rand(): k = rand() modulo 32767 (unsigned), then
  // k * (1/32767) * (max - min) + min in long double, stored as a double.
  // The result lies in [min, max).
  static double DrawRandomWeight(double min, double max);

 protected:
  // Checks that |network| is set, both layer numbers are valid and both
  // layers are installed (consistency checks); weight-carrying blocks call it
  // before they read the layer sizes.
  void CheckInstalledLayers() const;
  // Current neuron counts of the source and target layer, read from the
  // network. Both layers must be installed.
  int SourceCount() const;
  int TargetCount() const;
  // a * b for two neuron counts; throws std::length_error when the product
  // does not fit an int (no block of that size can be addressed).
  static int CheckedProduct(int a, int b);
  // Binds |v| to this block's layer pair and makes this block its |conn|.
  void BindVisitor(TIterateObj& v);
};

// The block of a pair of layers that are not connected: no weights, nothing
// to visit. TBasicConnections is a virtual base here, so a class derived from
// TEmptyConnections constructs TBasicConnections itself as well.
// The block of a pair of layers that is not connected. It holds nothing of
// its own (a network of n layers holds n * n of them, see EmptyBlockPool.h),
// so the one weight Weight can return after its failed check is shared.
// TBasicConnections is a virtual base: a class derived from this one
// initialises it itself.
class TEmptyConnections : public virtual TBasicConnections {
 public:
  static inline double dummyWeight = 0.0;  // returned by Weight after its failed check

  TEmptyConnections(TBasicNetwork* network, int fromLayer, int toLayer);

  bool IsConnected() override;
  int GetNumWeights(int mask) override;
  int GetWeights(double* out, int mask) override;
  int SetWeights(const double* in, int mask) override;
  void Randomize(double min, double max) override;
  double& Weight(int from, int to) override;  // fails the check "false"
  void AccumulateNetInput(double* net) override;
  void AccumulateNetInputBatch(const double* source, int batch, int stride, double* net) override;  // nothing
  bool IsValid(int from, int to) override;
  bool IsTrainable(int from, int to) override;
  void IterateIn(TIterateObj& v, int to, int mask) override;
  void IterateOut(TIterateObj& v, int from, int mask) override;
  void Iterate(TIterateObj& v, int mask) override;
  void Iterate2(TIterateObj2& v, TBasicNetwork* other, int mask) override;
  void Iterate3(TIterateObj3& v, TBasicNetwork* other2, TBasicNetwork* other3, int mask) override;
  const char* GetConnectionsNType() override;
  TBasicConnections* Clone(TBasicNetwork* newNetwork) override;
  void RemoveFromNode(int node) override;
  void RemoveToNode(int node) override;
  void InsertFromNode(int node, double min, double max, bool attached) override;
  void InsertToNode(int node, double min, double max, bool attached) override;
};

#endif  // NETFORGE_NEURALNETS_TBASICCONNECTIONS_H
