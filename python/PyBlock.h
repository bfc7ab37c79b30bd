// PyBlock: the Python view of one connection block of a network, named by
// its source and target layer.
//
// A view keeps its network alive (shared ownership) and looks the block up
// anew on every call, so it never points at a block that was replaced.
// Arrays it hands out are copies, shaped (targets, sources) like the weight
// matrix of torch.nn.Linear: row t holds the connections into target neuron
// t, column s those out of source neuron s.
#ifndef NETFORGE_PYTHON_PYBLOCK_H
#define NETFORGE_PYTHON_PYBLOCK_H

#include <memory>

#include "PyNetwork.h"

namespace nfpy {

struct PyBlock {
  std::shared_ptr<PyNetwork> owner;
  int source;  // source layer number
  int target;  // target layer number
};

}  // namespace nfpy

#endif  // NETFORGE_PYTHON_PYBLOCK_H
