// The Network class and the functions that make networks: generate(),
// load(), loads(); recall of NumPy arrays.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "Bindings.h"
#include "Errors.h"
#include "FileHandler/ParseTools.h"
#include "NeuralNets/GenerateMLP.h"
#include "NeuralNets/TErrorObj.h"
#include "NeuralNets/TPrunedConnections.h"
#include "PyBlock.h"
#include "PyDataSet.h"
#include "PyNetwork.h"

namespace py = pybind11;

namespace nfpy {
namespace {

using NetworkPtr = std::shared_ptr<PyNetwork>;
using DoubleArray = py::array_t<double, py::array::c_style | py::array::forcecast>;

// ---- Making networks ----

std::vector<int> CheckedLayerSizes(const std::vector<long long>& sizes) {
  if (sizes.empty()) throw py::value_error("layer_sizes must list at least one layer");
  std::vector<int> checked;
  for (long long size : sizes) {
    if (size <= 0 || size > INT_MAX)
      throw py::value_error("every layer size must be a positive int, not " + std::to_string(size));
    checked.push_back(static_cast<int>(size));
  }
  return checked;
}

// The tool reads its weight range as single-precision numbers; taking the
// range the same way gives the same weights for the same settings.
float CheckedWeightLimit(double value, const char* name) {
  if (!std::isfinite(value) || std::fabs(value) > FLT_MAX) {
    throw py::value_error(std::string(name) + " must be a finite single-precision number");
  }
  return static_cast<float>(value);
}

NetworkPtr Generate(const std::vector<long long>& layerSizes, bool bias, double minWeight, double maxWeight,
                    std::optional<long long> seed) {
  const std::vector<int> sizes = CheckedLayerSizes(layerSizes);
  const float low = CheckedWeightLimit(minWeight, "min_weight");
  const float high = CheckedWeightLimit(maxWeight, "max_weight");
  if (!(high > low)) throw py::value_error("max_weight must be greater than min_weight");
  if (seed && (*seed < 0 || *seed > UINT32_MAX)) throw py::value_error("seed must lie in 0 .. 2**32-1");
  const unsigned value = seed ? static_cast<unsigned>(*seed) : static_cast<unsigned>(std::time(nullptr));
  std::unique_ptr<TMLPNetwork> network =
      GenerateMLP(sizes, bias, static_cast<double>(low), static_cast<double>(high), value);
  return std::make_shared<PyNetwork>(std::move(network));
}

NetworkPtr Load(const std::filesystem::path& file) {
  const std::string path = file.string();
  CheckReadable(path, "network file");
  FileTools tools;
  try {
    return std::make_shared<PyNetwork>(std::unique_ptr<TBasicNetwork>(tools.LoadNetwork(path.c_str(), nullptr)));
  } catch (const FileTools::Error& error) {
    throw FromFileError(error, path);
  }
}

NetworkPtr Loads(const std::string& text) {
  std::istringstream in(text);
  FileTools tools;
  return std::make_shared<PyNetwork>(std::unique_ptr<TBasicNetwork>(tools.ReadNetwork(in, nullptr)));
}

// ---- Saving and copying ----

void Save(PyNetwork& self, const std::filesystem::path& file) {
  const std::string path = file.string();
  ReadLock lock(self);
  FileTools tools;
  errno = 0;
  try {
    tools.SaveNetwork(path.c_str(), &self.network(), nullptr);
  } catch (const FileTools::Error& error) {
    ThrowOSError(path, error.message);
  }
}

std::string Dumps(PyNetwork& self) {
  ReadLock lock(self);
  std::ostringstream out;
  FileTools tools;
  tools.WriteNetwork(out, &self.network(), nullptr);
  return out.str();
}

// Every neuron's parameters (the gains), layer by layer.
std::vector<double> NeuronParameters(TBasicNetwork& network) {
  std::vector<double> values;
  for (TBasicLayer* layer : network.layers) {
    for (int i = 0; i < layer->numNeurons; ++i) {
      TBasicNeuron* neuron = layer->GetNeuron(i);
      const std::size_t at = values.size();
      values.resize(at + static_cast<std::size_t>(neuron->GetNumParameters()));
      if (values.size() > at) neuron->GetParameters(values.data() + at);
    }
  }
  return values;
}

void SetNeuronParameters(TBasicNetwork& network, const std::vector<double>& values) {
  std::size_t at = 0;
  for (TBasicLayer* layer : network.layers) {
    for (int i = 0; i < layer->numNeurons; ++i) {
      TBasicNeuron* neuron = layer->GetNeuron(i);
      const std::size_t count = static_cast<std::size_t>(neuron->GetNumParameters());
      if (count > 0) neuron->SetParameters(values.data() + at);
      at += count;
    }
  }
}

// The state of a network: its file text, which holds structure, functions
// and flags exactly, and its weights and neuron parameters at full
// precision (the text keeps 15 digits).
py::tuple State(PyNetwork& self) {
  std::string text = Dumps(self);
  ReadLock lock(self);
  TBasicNetwork& network = self.network();
  std::vector<double> weights(static_cast<std::size_t>(network.GetNumWeights(FMaskExists)));
  network.GetWeights(weights.data(), FMaskExists);
  const std::vector<double> parameters = NeuronParameters(network);
  return py::make_tuple(py::bytes(text), py::array_t<double>(static_cast<py::ssize_t>(weights.size()), weights.data()),
                        py::array_t<double>(static_cast<py::ssize_t>(parameters.size()), parameters.data()));
}

NetworkPtr FromState(const py::tuple& state) {
  if (state.size() != 3) throw py::value_error("not a netforge network state");
  NetworkPtr copy = Loads(state[0].cast<std::string>());
  const auto weights = state[1].cast<DoubleArray>();
  const auto parameters = state[2].cast<DoubleArray>();
  TBasicNetwork& network = copy->network();
  if (weights.ndim() != 1 || weights.shape(0) != network.GetNumWeights(FMaskExists) || parameters.ndim() != 1 ||
      static_cast<std::size_t>(parameters.shape(0)) != NeuronParameters(network).size()) {
    throw py::value_error("not a netforge network state");
  }
  network.SetWeights(weights.data(), FMaskExists);
  SetNeuronParameters(network, std::vector<double>(parameters.data(), parameters.data() + parameters.shape(0)));
  return copy;
}

NetworkPtr Copy(PyNetwork& self) { return FromState(State(self)); }

// ---- Layers ----

py::list LayerSizes(PyNetwork& self) {
  ReadLock lock(self);
  py::list sizes;
  for (TBasicLayer* layer : self.network().layers) sizes.append(layer->numNeurons);
  return sizes;
}

py::list LayerTypes(PyNetwork& self) {
  ReadLock lock(self);
  py::list types;
  for (TBasicLayer* layer : self.network().layers) types.append(layer->GetTypeName());
  return types;
}

// The size of the input layer (|output| false) or of the output layer.
int EndLayerSize(PyNetwork& self, bool output) {
  ReadLock lock(self);
  TBasicNetwork& network = self.network();
  return network.layers[output ? network.outLayer : network.inLayer]->numNeurons;
}

py::object Activation(PyNetwork& self, long layer) {
  ReadLock lock(self);
  self.CheckLayer(layer, "layer");
  TBasicNetwork& network = self.network();
  const ActFunction fn = network.layers[layer]->GetActivationFunction();
  if (fn == nullptr) return py::none();
  return py::str(network.fnRegistry->GetFunctionName(fn));
}

py::list Activations(PyNetwork& self, long layer) {
  ReadLock lock(self);
  self.CheckLayer(layer, "layer");
  TBasicNetwork& network = self.network();
  TBasicLayer* target = network.layers[layer];
  py::list names;
  for (int i = 0; i < target->numNeurons; ++i) {
    names.append(network.fnRegistry->GetFunctionName(target->GetNeuron(i)->GetActivationFunction()));
  }
  return names;
}

void SetActivation(PyNetwork& self, long layer, const std::string& name) {
  EditLock lock(self);
  self.CheckLayer(layer, "layer");
  TBasicNetwork& network = self.network();
  if (!network.fnRegistry->HasFunction(name.c_str())) {
    throw py::value_error("unknown activation function \"" + name + "\"");
  }
  const ActFunction fn = network.fnRegistry->GetFunction(name.c_str());
  TBasicLayer* target = network.layers[layer];
  if (IsGainFunction(fn) && dynamic_cast<TGainLayer*>(target) == nullptr) {
    throw py::value_error("the activation function \"" + name + "\" needs a Gain layer");
  }
  target->SetActivationFunction(fn);
}

TGainLayer& GainLayer(PyNetwork& self, long layer) {
  self.CheckLayer(layer, "layer");
  auto* gains = dynamic_cast<TGainLayer*>(self.network().layers[layer]);
  if (gains == nullptr) throw py::value_error("layer " + std::to_string(layer) + " is not a Gain layer");
  return *gains;
}

py::array_t<double> Gains(PyNetwork& self, long layer) {
  ReadLock lock(self);
  TGainLayer& gains = GainLayer(self, layer);
  py::array_t<double> result(gains.numNeurons);
  for (int i = 0; i < gains.numNeurons; ++i) result.mutable_at(i) = gains.nodes[static_cast<std::size_t>(i)].gain;
  return result;
}

void SetGains(PyNetwork& self, long layer, DoubleArray values) {
  EditLock lock(self);
  TGainLayer& gains = GainLayer(self, layer);
  const bool scalar = values.ndim() == 0;
  if (!scalar && (values.ndim() != 1 || values.shape(0) != gains.numNeurons)) {
    throw py::value_error("gains must be one number or one per neuron (" + std::to_string(gains.numNeurons) + ")");
  }
  for (int i = 0; i < gains.numNeurons; ++i) {
    gains.nodes[static_cast<std::size_t>(i)].gain = values.data()[scalar ? 0 : i];
  }
}

// ---- Blocks and weights ----

PyBlock Block(const NetworkPtr& self, long source, long target) {
  ReadLock lock(*self);
  self->ConnectedBlock(source, target);
  return PyBlock{self, static_cast<int>(source), static_cast<int>(target)};
}

py::list Blocks(const NetworkPtr& self) {
  ReadLock lock(*self);
  TBasicNetwork& network = self->network();
  py::list blocks;
  for (int from = 0; from < network.numLayers; ++from) {
    for (int to = 0; to < network.numLayers; ++to) {
      if (network.priv_conns_index[to][from]->IsConnected()) blocks.append(PyBlock{self, from, to});
    }
  }
  return blocks;
}

int Mask(bool trainableOnly) { return trainableOnly ? FMaskAll : FMaskExists; }

int NumWeights(PyNetwork& self, bool trainableOnly) {
  ReadLock lock(self);
  return self.network().GetNumWeights(Mask(trainableOnly));
}

py::array_t<double> GetWeights(PyNetwork& self, bool trainableOnly) {
  ReadLock lock(self);
  TBasicNetwork& network = self.network();
  py::array_t<double> result(network.GetNumWeights(Mask(trainableOnly)));
  network.GetWeights(result.mutable_data(), Mask(trainableOnly));
  return result;
}

void SetWeights(PyNetwork& self, DoubleArray values, bool trainableOnly) {
  EditLock lock(self);
  TBasicNetwork& network = self.network();
  const int count = network.GetNumWeights(Mask(trainableOnly));
  if (values.ndim() != 1 || values.shape(0) != count) {
    throw py::value_error("weights must be a vector of " + std::to_string(count) + " values");
  }
  network.SetWeights(values.data(), Mask(trainableOnly));
}

// Every connected block must be pruneable: checked for all before any
// changes, so that a refused call leaves the network as it was.
void SetAllTrainable(PyNetwork& self, bool trainable) {
  EditLock lock(self);
  TBasicNetwork& network = self.network();
  std::vector<TPrunedConnections*> blocks;
  for (TBasicConnections* block : network.priv_conns) {
    if (!block->IsConnected()) continue;
    auto* pruned = dynamic_cast<TPrunedConnections*>(block);
    if (pruned == nullptr) {
      throw py::value_error(std::string("a ") + block->GetConnectionsNType() + " block cannot be frozen");
    }
    blocks.push_back(pruned);
  }
  for (TPrunedConnections* block : blocks) {
    const int sources = network.layers[block->fromLayer]->numNeurons;
    const int targets = network.layers[block->toLayer]->numNeurons;
    for (int t = 0; t < targets; ++t) {
      for (int s = 0; s < sources; ++s) {
        if (trainable) {
          block->SetTrainable(s, t);
        } else {
          block->SetUnTrainable(s, t);
        }
      }
    }
  }
}

// ---- Recall ----

// Runs every row of |x| through the network with the library's batch recall,
// which gives every row the bits of Recall. A
// C-contiguous float64 array is read in place; any other is converted once
// by the caster. The GIL is released while the library works.
py::array_t<double> Recall(PyNetwork& self, DoubleArray x) {
  const int inputs = EndLayerSize(self, false);
  const int outputs = EndLayerSize(self, true);
  const bool single = x.ndim() == 1;
  if ((x.ndim() != 1 && x.ndim() != 2) || x.shape(x.ndim() - 1) != inputs) {
    throw py::value_error("x must have the shape (rows, " + std::to_string(inputs) + ") or (" + std::to_string(inputs) +
                          ",)");
  }
  const py::ssize_t rows = single ? 1 : x.shape(0);
  py::array_t<double> result =
      single ? py::array_t<double>(outputs) : py::array_t<double>({rows, py::ssize_t{outputs}});
  const double* in = x.data();
  double* out = result.mutable_data();
  {
    py::gil_scoped_release release;
    std::lock_guard<std::recursive_mutex> lock(self.mutex());
    // Checked under the lock, as another thread may change the functions
    // until then; the check touches no Python object.
    self.CheckRecallable();
    TBasicNetwork& network = self.network();
    // RecallBatch takes an int count of rows; larger arrays go in pieces.
    for (py::ssize_t done = 0; done < rows;) {
      const int count = static_cast<int>(std::min<py::ssize_t>(rows - done, INT_MAX));
      network.RecallBatch(in + done * inputs, out + done * outputs, count);
      done += count;
    }
  }
  return result;
}

// The error of the network's outputs over every row of |data| against its
// outputs, measured by the library's ComputeError.
double Error(PyNetwork& self, PyDataSet& data, const std::string& measure) {
  ReadLock lock(self);
  auto* perceptron = dynamic_cast<TMLPNetwork*>(&self.network());
  if (perceptron == nullptr) throw py::value_error("error() needs a multilayer perceptron (type \"MLP\")");
  self.CheckRecallable();
  const int outputs = perceptron->layers[perceptron->outLayer]->numNeurons;
  std::unique_ptr<TErrorObj> error;
  if (measure == "rms") {
    error = std::make_unique<TErrorRMSObj>(outputs);
  } else if (measure == "cross-entropy") {
    error = std::make_unique<TErrorCrossEntropyObj>(outputs);
  } else {
    throw py::value_error("measure must be \"rms\" or \"cross-entropy\", not \"" + measure + "\"");
  }
  return perceptron->ComputeError(data.data.get(), error.get());
}

std::string Repr(PyNetwork& self) {
  ReadLock lock(self);
  std::string sizes;
  for (TBasicLayer* layer : self.network().layers)
    sizes += (sizes.empty() ? "" : ", ") + std::to_string(layer->numNeurons);
  return "<netforge.Network " + self.Type() + ", layer sizes [" + sizes + "]>";
}

}  // namespace

void BindNetworks(py::module_& module) {
  py::class_<PyNetwork, NetworkPtr> network(
      module, "Network",
      "A neural network: layers of neurons and blocks of connections between them.\n\n"
      "Make one with generate(), load() or loads(). Layers are numbered from 0; a\n"
      "multilayer perceptron from generate() has the bias layer 0 (one neuron with\n"
      "a bias, none without), the input layer 1 and the sigmoid layers above it.\n"
      "A network may be used from several threads; calls on it run one at a time.");
  network.def_property_readonly("type", &PyNetwork::Type, "The network type: \"MLP\", \"Basic\" or \"Connected\".")
      .def_property_readonly(
          "num_layers", [](PyNetwork& self) { return self.network().numLayers; },
          "Number of layers, the bias layer included.")
      .def_property_readonly(
          "input_layer", [](PyNetwork& self) { return self.network().inLayer; }, "Number of the input layer.")
      .def_property_readonly(
          "output_layer", [](PyNetwork& self) { return self.network().outLayer; }, "Number of the output layer.")
      .def_property_readonly(
          "num_inputs", [](PyNetwork& self) { return EndLayerSize(self, false); },
          "Number of input values: the size of the input layer.")
      .def_property_readonly(
          "num_outputs", [](PyNetwork& self) { return EndLayerSize(self, true); },
          "Number of output values: the size of the output layer.")
      .def_property_readonly("layer_sizes", &LayerSizes, "The neuron count of every layer, from layer 0.")
      .def_property_readonly("layer_types", &LayerTypes,
                             "The type of every layer as network files name it: \"Simple\", \"Input\", \"Gain\".")
      .def("activation", &Activation, py::arg("layer"),
           "The activation function name shared by the layer's neurons (\"sigmoid\", ...),\n"
           "or None when its neurons differ.")
      .def("activations", &Activations, py::arg("layer"), "The activation function name of every neuron of a layer.")
      .def("set_activation", &SetActivation, py::arg("layer"), py::arg("name"),
           "Gives every neuron of a layer the named function: \"bias\", \"linear\",\n"
           "\"saturated-linear\", \"sigmoid\", \"tanh\", or on a Gain layer also\n"
           "\"linear-gain\", \"sigmoid-gain\", \"tanh-gain\".")
      .def("gains", &Gains, py::arg("layer"), "The gains of a Gain layer's neurons, a float64 array (a copy).")
      .def("set_gains", &SetGains, py::arg("layer"), py::arg("gains"),
           "Sets the gains of a Gain layer: one number for all neurons or one per neuron.")
      .def("block", &Block, py::arg("source"), py::arg("target"),
           "The Block of connections from layer |source| into layer |target|; ValueError\n"
           "when the two are not connected.")
      .def("blocks", &Blocks,
           "Every connected Block, source layer outer and target layer inner (the order\n"
           "of get_weights()).")
      .def("num_weights", &NumWeights, py::arg("trainable_only") = false,
           "Number of existing connections (only the trainable ones with trainable_only).")
      .def("get_weights", &GetWeights, py::arg("trainable_only") = false,
           "The weights of all existing (or only trainable) connections as one vector:\n"
           "blocks in blocks() order, within a block target by target.")
      .def("set_weights", &SetWeights, py::arg("weights"), py::arg("trainable_only") = false,
           "Sets the weights get_weights() returns, from a vector of the same length.")
      .def(
          "freeze", [](PyNetwork& self) { SetAllTrainable(self, false); },
          "Makes every connection untrainable (pruneable blocks only).")
      .def(
          "unfreeze", [](PyNetwork& self) { SetAllTrainable(self, true); },
          "Makes every existing connection trainable (pruneable blocks only).")
      .def("recall", &Recall, py::arg("x"),
           "Runs every row of x (rows, num_inputs) through the network and returns the\n"
           "outputs (rows, num_outputs); a single row of shape (num_inputs,) gives\n"
           "(num_outputs,). A C-contiguous float64 array is read in place, any other is\n"
           "converted once. Each row gives exactly the bits of the library's Recall.\n"
           "Other Python threads run while the network works.")
      .def("error", &Error, py::arg("data"), py::arg("measure") = "rms",
           "The error of the network's outputs for every row of the DataSet |data|\n"
           "against its outputs: \"rms\" (root mean square) or \"cross-entropy\". A\n"
           "NetforgeError when the data set's columns do not fit the network.")
      .def("save", &Save, py::arg("path"), "Writes the network file |path|; OSError when it cannot be written.")
      .def("dumps", &Dumps, "The network file text of the network (weights with 15 significant digits).")
      .def("copy", &Copy, "An independent copy with exactly the same weights.")
      .def("__copy__", &Copy)
      .def(
          "__deepcopy__", [](PyNetwork& self, py::object) { return Copy(self); }, py::arg("memo"))
      .def(py::pickle([](PyNetwork& self) { return State(self); },
                      [](const py::tuple& state) { return FromState(state); }))
      .def("__repr__", &Repr);

  module.def("generate", &Generate, py::arg("layer_sizes"), py::arg("bias") = false, py::arg("min_weight") = -5.0,
             py::arg("max_weight") = 5.0, py::arg("seed") = py::none(),
             "A new multilayer perceptron with random weights: exactly the network the\n"
             "Netforge tool writes for Layers/LayerSize = layer_sizes, Bias, MinWeight,\n"
             "MaxWeight and Seed (defaults as the tool's). The weight range is taken at\n"
             "single precision, as the tool reads it; without a seed the clock in\n"
             "seconds seeds the generator, as in the tool.");
  module.def("load", &Load, py::arg("path"),
             "Reads a network file. OSError when it cannot be opened, FileFormatError\n"
             "(with file, line and column) when its content is not acceptable.");
  module.def("loads", &Loads, py::arg("text"), "Reads a network from the text of a network file.");
}

}  // namespace nfpy
