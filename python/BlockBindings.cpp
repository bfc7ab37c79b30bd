// The Block class: a connection block's weights, existence and trainable
// flags as NumPy arrays, and the edits of single connections.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstring>
#include <string>

#include "Bindings.h"
#include "NeuralNets/TPrunedConnections.h"
#include "PyBlock.h"

namespace py = pybind11;

namespace nfpy {
namespace {

using DoubleArray = py::array_t<double, py::array::c_style | py::array::forcecast>;
using BoolArray = py::array_t<bool, py::array::c_style | py::array::forcecast>;

// The block and its current shape, looked up under the network's mutex.
struct Cells {
  TBasicConnections& block;
  int targets;
  int sources;
};

Cells CellsOf(PyBlock& view) {
  TBasicConnections& block = view.owner->ConnectedBlock(view.source, view.target);
  TBasicNetwork& network = view.owner->network();
  return Cells{block, network.layers[view.target]->numNeurons, network.layers[view.source]->numNeurons};
}

std::string Connection(long target, long source) {
  return "connection (target " + std::to_string(target) + ", source " + std::to_string(source) + ")";
}

// Pruning, adding and single freezing exist only for pruneable blocks; a
// fully connected block keeps every connection trainable.
TPrunedConnections& Pruneable(Cells& cells, const char* edit) {
  auto* pruned = dynamic_cast<TPrunedConnections*>(&cells.block);
  if (pruned == nullptr) {
    throw py::value_error(std::string("a ") + cells.block.GetConnectionsNType() + " block does not support " + edit);
  }
  return *pruned;
}

void CheckCell(const Cells& cells, long target, long source) {
  if (target < 0 || target >= cells.targets || source < 0 || source >= cells.sources) {
    throw py::index_error(Connection(target, source) + " lies outside the block's shape (" +
                          std::to_string(cells.targets) + ", " + std::to_string(cells.sources) + ")");
  }
}

template <typename Array>
void CheckShape(const Cells& cells, const Array& values, const char* what) {
  if (values.ndim() != 2 || values.shape(0) != cells.targets || values.shape(1) != cells.sources) {
    throw py::value_error(std::string(what) + " must have the block's shape (" + std::to_string(cells.targets) + ", " +
                          std::to_string(cells.sources) + ")");
  }
}

// A (targets, sources) array filled cell by cell from |get(source, target)|.
template <typename T, typename Get>
py::array_t<T> Matrix(const Cells& cells, Get get) {
  py::array_t<T> result({cells.targets, cells.sources});
  T* out = result.mutable_data();
  for (int t = 0; t < cells.targets; ++t) {
    for (int s = 0; s < cells.sources; ++s) *out++ = get(s, t);
  }
  return result;
}

DoubleArray GetWeights(PyBlock& view) {
  ReadLock lock(*view.owner);
  Cells cells = CellsOf(view);
  return Matrix<double>(cells,
                        [&](int s, int t) { return cells.block.IsValid(s, t) ? cells.block.Weight(s, t) : 0.0; });
}

// Every pruned connection must receive 0.0, the value it holds: a weight
// given to a connection that does not exist would silently be lost.
void SetWeights(PyBlock& view, DoubleArray values) {
  EditLock lock(*view.owner);
  Cells cells = CellsOf(view);
  CheckShape(cells, values, "weights");
  const double* in = values.data();
  for (int t = 0; t < cells.targets; ++t) {
    for (int s = 0; s < cells.sources; ++s) {
      if (in[t * cells.sources + s] != 0.0 && !cells.block.IsValid(s, t)) {
        throw py::value_error("cannot set the weight of the pruned " + Connection(t, s) + "; add it first");
      }
    }
  }
  for (int t = 0; t < cells.targets; ++t) {
    for (int s = 0; s < cells.sources; ++s) {
      if (cells.block.IsValid(s, t)) cells.block.Weight(s, t) = in[t * cells.sources + s];
    }
  }
}

BoolArray GetExists(PyBlock& view) {
  ReadLock lock(*view.owner);
  Cells cells = CellsOf(view);
  return Matrix<bool>(cells, [&](int s, int t) { return cells.block.IsValid(s, t); });
}

BoolArray GetTrainable(PyBlock& view) {
  ReadLock lock(*view.owner);
  Cells cells = CellsOf(view);
  return Matrix<bool>(cells, [&](int s, int t) { return cells.block.IsValid(s, t) && cells.block.IsTrainable(s, t); });
}

// Connections that become existing are added (weight 0.0, trainable); those
// that stop existing are pruned (weight and flags cleared).
void SetExists(PyBlock& view, BoolArray values) {
  EditLock lock(*view.owner);
  Cells cells = CellsOf(view);
  CheckShape(cells, values, "exists");
  const bool* in = values.data();
  bool changes = false;
  for (int t = 0; t < cells.targets; ++t) {
    for (int s = 0; s < cells.sources; ++s) changes = changes || in[t * cells.sources + s] != cells.block.IsValid(s, t);
  }
  if (!changes) return;
  TPrunedConnections& pruned = Pruneable(cells, "pruning or adding connections");
  for (int t = 0; t < cells.targets; ++t) {
    for (int s = 0; s < cells.sources; ++s) {
      const bool wanted = in[t * cells.sources + s];
      if (wanted && !pruned.IsValid(s, t)) pruned.AddConnection(s, t);
      if (!wanted && pruned.IsValid(s, t)) pruned.PruneConnection(s, t);
    }
  }
}

void SetTrainable(PyBlock& view, BoolArray values) {
  EditLock lock(*view.owner);
  Cells cells = CellsOf(view);
  CheckShape(cells, values, "trainable");
  const bool* in = values.data();
  bool changes = false;
  for (int t = 0; t < cells.targets; ++t) {
    for (int s = 0; s < cells.sources; ++s) {
      const bool wanted = in[t * cells.sources + s];
      if (wanted && !cells.block.IsValid(s, t)) {
        throw py::value_error("the pruned " + Connection(t, s) + " cannot be trainable; add it first");
      }
      changes = changes || (cells.block.IsValid(s, t) && wanted != cells.block.IsTrainable(s, t));
    }
  }
  if (!changes) return;
  TPrunedConnections& pruned = Pruneable(cells, "freezing connections");
  for (int t = 0; t < cells.targets; ++t) {
    for (int s = 0; s < cells.sources; ++s) {
      if (!pruned.IsValid(s, t)) continue;
      if (in[t * cells.sources + s]) {
        pruned.SetTrainable(s, t);
      } else {
        pruned.SetUnTrainable(s, t);
      }
    }
  }
}

void SetAllTrainable(PyBlock& view, bool trainable) {
  EditLock lock(*view.owner);
  Cells cells = CellsOf(view);
  TPrunedConnections& pruned = Pruneable(cells, "freezing connections");
  for (int t = 0; t < cells.targets; ++t) {
    for (int s = 0; s < cells.sources; ++s) {
      if (!trainable) {
        pruned.SetUnTrainable(s, t);
      } else {
        pruned.SetTrainable(s, t);
      }
    }
  }
}

void Prune(PyBlock& view, long target, long source) {
  EditLock lock(*view.owner);
  Cells cells = CellsOf(view);
  CheckCell(cells, target, source);
  Pruneable(cells, "pruning connections").PruneConnection(static_cast<int>(source), static_cast<int>(target));
}

void Add(PyBlock& view, long target, long source, double weight) {
  EditLock lock(*view.owner);
  Cells cells = CellsOf(view);
  CheckCell(cells, target, source);
  TPrunedConnections& pruned = Pruneable(cells, "adding connections");
  const int s = static_cast<int>(source);
  const int t = static_cast<int>(target);
  if (pruned.IsValid(s, t)) throw py::value_error("the " + Connection(target, source) + " exists already");
  pruned.AddConnection(s, t);
  pruned.Weight(s, t) = weight;
}

py::tuple Shape(PyBlock& view) {
  ReadLock lock(*view.owner);
  Cells cells = CellsOf(view);
  return py::make_tuple(cells.targets, cells.sources);
}

std::string Kind(PyBlock& view) {
  ReadLock lock(*view.owner);
  return CellsOf(view).block.GetConnectionsNType();
}

std::string Repr(PyBlock& view) {
  ReadLock lock(*view.owner);
  Cells cells = CellsOf(view);
  return "<netforge.Block " + std::to_string(view.source) + " -> " + std::to_string(view.target) + ", " +
         cells.block.GetConnectionsNType() + ", shape (" + std::to_string(cells.targets) + ", " +
         std::to_string(cells.sources) + ")>";
}

}  // namespace

void BindBlocks(py::module_& module) {
  py::class_<PyBlock>(module, "Block",
                      "The connections from one layer (source) into another (target).\n\n"
                      "Get it from Network.block(source, target) or Network.blocks(). Arrays are\n"
                      "copies shaped (targets, sources), like torch.nn.Linear.weight: entry [t, s]\n"
                      "is the connection from source neuron s into target neuron t. Assign a\n"
                      "whole array to change the block. Pruned (non-existing) connections read\n"
                      "as weight 0.0, exists False, trainable False.")
      .def_readonly("source", &PyBlock::source, "Number of the source layer.")
      .def_readonly("target", &PyBlock::target, "Number of the target layer.")
      .def_property_readonly("shape", &Shape, "(targets, sources): the neuron counts of the two layers.")
      .def_property_readonly("kind", &Kind,
                             "The block type of network files: \"Pruneable\" (connections can be pruned,\n"
                             "added and frozen) or \"FullyConnected\".")
      .def_property("weights", &GetWeights, &SetWeights,
                    "The weights, a float64 array (targets, sources). Assigning a non-zero value\n"
                    "to a pruned connection raises ValueError and changes nothing.")
      .def_property("exists", &GetExists, &SetExists,
                    "Which connections exist, a bool array (targets, sources). Assigning adds the\n"
                    "connections that become True (weight 0.0, trainable) and prunes those that\n"
                    "become False.")
      .def_property("trainable", &GetTrainable, &SetTrainable,
                    "Which connections training may change, a bool array (targets, sources).\n"
                    "A pruned connection cannot be made trainable (ValueError).")
      .def(
          "freeze", [](PyBlock& view) { SetAllTrainable(view, false); },
          "Makes every connection of the block untrainable (frozen).")
      .def(
          "unfreeze", [](PyBlock& view) { SetAllTrainable(view, true); },
          "Makes every existing connection of the block trainable again.")
      .def("prune", &Prune, py::arg("target"), py::arg("source"),
           "Removes the connection from source neuron |source| into target neuron\n"
           "|target|; its weight becomes 0.0. Pruning a pruned connection does nothing.")
      .def("add", &Add, py::arg("target"), py::arg("source"), py::arg("weight") = 0.0,
           "Creates the missing connection from |source| into |target|, trainable, with\n"
           "|weight|. ValueError if it exists already.")
      .def("__repr__", &Repr);
}

}  // namespace nfpy
