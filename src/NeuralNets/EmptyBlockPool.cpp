#include "NeuralNets/EmptyBlockPool.h"

#include <functional>
#include <memory>
#include <new>

#include "NeuralNets/TBasicNetwork.h"

EmptyBlockPool::EmptyBlockPool(TBasicNetwork* network, int n)
    : blocks_(nullptr), count_(static_cast<std::size_t>(n) * static_cast<std::size_t>(n)) {
  std::allocator<TEmptyConnections> allocator;
  blocks_ = allocator.allocate(count_);
  // Constructing an empty block cannot fail: it stores its three fields.
  for (std::size_t i = 0; i < count_; ++i) {
    const int from = static_cast<int>(i % static_cast<std::size_t>(n));
    const int to = static_cast<int>(i / static_cast<std::size_t>(n));
    ::new (static_cast<void*>(blocks_ + i)) TEmptyConnections(network, from, to);
  }
}

EmptyBlockPool::~EmptyBlockPool() {
  std::destroy_n(blocks_, count_);
  std::allocator<TEmptyConnections>().deallocate(blocks_, count_);
}

TEmptyConnections* EmptyBlockPool::At(std::size_t index) const {
  return blocks_ + index;
}

bool EmptyBlockPool::Holds(const TBasicConnections* block) const {
  // std::less orders unrelated pointers too.
  const std::less<const void*> before;
  const void* address = block;
  return block != nullptr && !before(address, blocks_) && before(address, blocks_ + count_);
}
