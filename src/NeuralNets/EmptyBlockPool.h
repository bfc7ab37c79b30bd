// EmptyBlockPool: the empty blocks a network is sized with, made in one
// allocation.
//
// A network holds a block for every ordered pair of its layers, and most
// pairs of a deep network are not connected: a network of 4096 layers holds
// almost 17 million empty blocks. Made one by one, each would cost a heap
// allocation and its bookkeeping; the pool makes all n x n of them in one
// array, so that an empty block costs only its own few bytes and the network
// is sized (and destroyed) in one pass over memory.
//
// Ownership: the network owns its pool and keeps it until it is destroyed.
// Blocks of the pool are never deleted one by one: when the network replaces
// a pooled block (Connect, Disconnect, InstallConnections) or drops it
// (RemoveLayer), it leaves the pooled object in place and only stops using
// it (Holds tells the two kinds apart). Blocks made elsewhere keep being
// deleted as before. Not thread-safe, like the network.
//
// Internal to the network's implementation.
#ifndef NETFORGE_NEURALNETS_EMPTYBLOCKPOOL_H
#define NETFORGE_NEURALNETS_EMPTYBLOCKPOOL_H

#include <cstddef>

class TBasicConnections;
class TBasicNetwork;
class TEmptyConnections;

class EmptyBlockPool {
 public:
  // n * n empty blocks of |network|: the one at index to * n + from joins
  // layer |from| to layer |to|. Throws std::bad_alloc (nothing is kept).
  EmptyBlockPool(TBasicNetwork* network, int n);
  ~EmptyBlockPool();
  EmptyBlockPool(const EmptyBlockPool&) = delete;
  EmptyBlockPool& operator=(const EmptyBlockPool&) = delete;

  TEmptyConnections* At(std::size_t index) const;
  // Whether |block| is one of the pool's blocks (false for null).
  bool Holds(const TBasicConnections* block) const;

 private:
  TEmptyConnections* blocks_;
  std::size_t count_;
};

#endif  // NETFORGE_NEURALNETS_EMPTYBLOCKPOOL_H
