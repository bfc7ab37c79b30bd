// The network file reader: FileTools::LoadNetwork and FileTools::ReadNetwork.
//
// The reader builds a network while it reads: the network of the stated type
// as soon as the information block is complete, each layer once its type and
// neuron count are known, each connection block when its ConnectionLayer
// header is complete. The network is held by a std::unique_ptr until it is
// returned, so every failure (a FileTools::Error, std::bad_alloc, ...) frees
// everything built so far; the model allows destroying a network whose layer
// array is only partly filled.
//
// A file is input, never a program: every value that would break a contract
// of the model (and so stop the program in a consistency check) is rejected
// with a FileTools::Error that says what is wrong. Beyond the fixed messages
// of the format, the reader rejects
//   - input/output layer numbers outside the network, layer numbers, neuron
//     indices, LayerFrom and LayerTo outside the network or the layer;
//   - a network that leaves a layer number without a Layer block (its
//     network could not be used: every operation needs every layer);
//   - parameter lines before the layer exists or naming a parameter that the
//     neurons do not have, unknown activation function names, and the gain
//     functions on neurons without a gain (they would stop recall);
//   - a Layer block that ends before its type and neuron count, negative
//     neuron counts, a Matrix bracket with more than nine items, a flag cell
//     other than T/F for an existing connection, and "-" cells, "F" flags or
//     "UnTrainable" entries in a FullyConnected block;
//   - a stream whose buffer fails to read (a folder opened as a file):
//     "Error on File Read".
//
// Size limits. The counts in a file decide how much memory the network takes
// before the content that fills it is read, so a short file could otherwise
// ask for gigabytes. The reader therefore measures the input (the bytes from
// the read position to the end; a stream that cannot tell its size is first
// read into memory whole) and holds every allocation the counts ask for to a
// budget of
//     128 MiB + 64 bytes for every byte of input,
// counting 64 bytes per neuron and 9 bytes per possible connection of a block
// (plus 16 per target neuron). A dense Matrix block carries at least two
// bytes of text per cell and always fits; what the budget limits is a block
// described sparsely (a WeightList) or left empty, and layers whose neurons
// have no lines of their own: about fourteen million possible connections
// (a 3000 x 3000 block with a few connections fits) or two million neurons
// for a file of a few hundred bytes, more for a longer file. Larger counts
// fail with "Network too large for the size of its file" before anything is
// allocated; a block of more than INT_MAX possible connections, which the
// model cannot address, fails with "Connection block too large".
//
// The numLayers x numLayers block matrix (an empty block and its pointer, 40
// bytes per pair of layers) is bounded by the layer count instead: every
// layer needs its Layer block, at least 52 bytes of text, so numLayers may
// not exceed the bytes left after the information block divided by 50. Up to
// kLayersOfFreeMatrix layers the matrix is not charged to the budget, so that
// every network of that depth reads back, however narrow (the generator's
// deepest network, 4096 layers and a bias layer, takes about 670 MB of
// matrix); deeper matrices are charged.
//
// A later Layer block for a layer number already read replaces the earlier
// layer: no block is connected before the ConnectionLayer blocks, which
// follow all Layer blocks, so nothing refers to the layer yet.
//
// One known deviation from a literal reading of the format: in a Matrix
// whose items put TrainableInfo before Weights, the flag of a cell whose
// connection does not exist yet is kept until the cell's weight creates the
// connection and is applied then; otherwise every "F" in such a matrix would
// be lost and the connection made trainable.
#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <typeinfo>
#include <utility>
#include <vector>

#include "Common/NumberText.h"
#include "Common/Console.h"
#include "Common/StrCase.h"
#include "FileHandler/ParseTools.h"
#include "KQmessage/KQML.h"
#include "NeuralNets/TBasicNetwork.h"
#include "NeuralNets/TConnectedConnections.h"
#include "NeuralNets/TConnectedNetwork.h"
#include "NeuralNets/TMLPNetwork.h"
#include "NeuralNets/TPrunedConnections.h"

namespace {

constexpr std::uint64_t kBaseBudget = std::uint64_t{128} << 20;
constexpr std::uint64_t kBudgetPerInputByte = 64;
constexpr std::uint64_t kBytesPerBlockEntry = sizeof(TBasicConnections*) + sizeof(TEmptyConnections);
constexpr std::int64_t kLayersOfFreeMatrix = 4097;
constexpr std::uint64_t kBytesPerNeuron = 64;
constexpr std::uint64_t kBytesPerConnection = 9;
constexpr std::uint64_t kBytesPerTargetRow = 16;
constexpr std::int64_t kMinLayerBlockBytes = 50;
constexpr int kMaxMatrixItems = 9;

bool Is(const std::string& text, const char* keyword) {
  return Netforge::strcasecmp(text.c_str(), keyword) == 0;
}

bool IsAssignment(const Statement& statement, const char* keyword) {
  return statement.type == Assignment && Is(statement.name, keyword);
}

bool IsTag(const Statement& statement, const char* keyword) {
  return statement.type == Tag && Is(statement.name, keyword);
}

bool IsGainFunction(ActFunction fn) {
  return fn == LinearGainFunction || fn == SigmoidGainFunction || fn == TanhGainFunction;
}

std::string WithNumber(const char* text, long number) {
  std::string message(text);
  Netforge::AppendLong(message, number);
  return message;
}

// ---- Input size ----

// The bytes from the read position to the end of |in|, when its buffer can
// seek; the position is left where it was.
bool MeasureInput(std::istream& in, std::uint64_t& bytes) {
  std::streambuf* buffer = in.rdbuf();
  if (buffer == nullptr) return false;
  const std::streampos position = buffer->pubseekoff(0, std::ios_base::cur, std::ios_base::in);
  if (position == std::streampos(-1)) return false;
  const std::streampos end = buffer->pubseekoff(0, std::ios_base::end, std::ios_base::in);
  const std::streampos back = buffer->pubseekpos(position, std::ios_base::in);
  if (end == std::streampos(-1) || back != position || end < position) return false;
  bytes = static_cast<std::uint64_t>(end - position);
  return true;
}

// Header values of the information block; -1 stands for "not given".
struct NetworkHeader {
  std::string type;
  int numLayers = -1;
  int inputLayer = 1;
  int outputLayer = -1;
  int numInputs = -1;
  int numOutputs = -1;
  int biasLayer = -1;
};

// Working state of one Layer block.
struct LayerState {
  int number = 0;
  std::string blockName;
  std::string type;
  bool haveType = false;
  int count = 0;
  bool haveCount = false;
  TBasicLayer* layer = nullptr;     // owned by the network once created
  ActFunction commonFn = nullptr;
  std::vector<double> parameters;   // shared by all neuron lines of the layer
  std::vector<char> parameterSet;
};

// The connection operations the matrix reader applies to each cell. A
// pruneable block, the block of every multilayer perceptron, has its flag
// and weight arrays changed directly, exactly as its operations change them
// (TPrunedConnections.h), which spares millions of calls in a large file;
// any other block is changed through its operations.
class CellAccess {
 public:
  explicit CellAccess(TBasicConnections* block) : block_(block) {
    if (typeid(*block) == typeid(TPrunedConnections)) {
      auto* pruned = static_cast<TPrunedConnections*>(block);
      weights_ = pruned->index_weights.data();
      masks_ = pruned->index_masks.data();
    }
  }

  bool IsValid(int from, int to) {
    return masks_ != nullptr ? (masks_[to][from] & FMaskExists) != 0 : block_->IsValid(from, to);
  }
  void Prune(int from, int to) {
    if (masks_ == nullptr) return block_->PruneConnection(from, to);
    masks_[to][from] = 0;
    weights_[to][from] = 0.0;
  }
  // AddConnection, then the weight.
  void Set(int from, int to, double weight) {
    if (masks_ == nullptr) {
      block_->AddConnection(from, to);
      block_->Weight(from, to) = weight;
      return;
    }
    if (!(masks_[to][from] & FMaskExists)) masks_[to][from] = FMaskAll;
    weights_[to][from] = weight;
  }
  void SetTrainable(int from, int to) {
    if (masks_ == nullptr) return block_->SetTrainable(from, to);
    if (masks_[to][from] & FMaskExists) masks_[to][from] |= FMaskTrainable;
  }
  void SetUnTrainable(int from, int to) {
    if (masks_ == nullptr) return block_->SetUnTrainable(from, to);
    masks_[to][from] &= static_cast<unsigned char>(~FMaskTrainable);
  }

 private:
  TBasicConnections* block_;
  double* const* weights_ = nullptr;       // rows of a pruneable block
  unsigned char* const* masks_ = nullptr;  // its flag rows
};

// Working state of one ConnectionLayer block.
struct BlockState {
  TBasicConnections* block = nullptr;  // owned by the network once installed
  int nFrom = 0;
  int nTo = 0;
  bool freezable = true;
};

class NetworkReader {
 public:
  NetworkReader(FileTools& tools, std::istream& in, std::uint64_t inputBytes)
      : tools_(tools), in_(in), inputBytes_(inputBytes) {
    budget_ = kBaseBudget + kBudgetPerInputByte * inputBytes;
  }

  TBasicNetwork* Read();

 private:
  // Content errors point at the statement being handled.
  [[noreturn]] void Fail(std::string message) { tools_.Fail(in_, std::move(message)); }
  Statement Next(const char* blockdef) { return tools_.ReadStatement(in_, blockdef, false); }
  Statement Continuation() { return tools_.ReadStatement(in_, nullptr, true); }
  int Integer(const std::string& text) { return tools_.ParseInteger(in_, text.c_str()); }
  double Number(const std::string& text) { return tools_.ParseNumber(in_, text.c_str()); }

  void Charge(std::uint64_t count, std::uint64_t bytesEach);
  std::int64_t BytesLeft();
  ActFunction LookUpFunction(const std::string& name);

  NetworkHeader ReadHeader();
  void ReadInformation(NetworkHeader& header);
  void CreateNetwork(const NetworkHeader& header);

  Statement ReadLayer(const Statement& opening);
  void HandleLayerAssignment(LayerState& state, const Statement& statement);
  void CreateLayer(LayerState& state);
  int ParameterIndex(TBasicNeuron* neuron, const std::string& name);
  void SetCommonFunction(LayerState& state);
  Statement ReadNeurons(LayerState& state, const Statement& opening);
  void ReadNeuronLine(LayerState& state, const Statement& line, std::vector<char>& defined);

  Statement ReadConnectionLayer(const std::string& blockName);
  BlockState CreateBlock(int from, int to, const std::string& type);
  void ReadMatrix(BlockState& state, const Statement& opening);
  void ReadMatrixCell(BlockState& state, CellAccess& cells, int from, int to, const std::vector<bool>& isWeight,
                      const std::string& blockName);
  void ReadWeightList(BlockState& state, const std::string& blockName);
  void ReadWeightListEntry(BlockState& state, Statement statement);

  FileTools& tools_;
  std::istream& in_;
  std::uint64_t inputBytes_;
  std::uint64_t budget_ = 0;
  std::unique_ptr<TBasicNetwork> network_;
  NetworkHeader header_;
  std::string networkName_;      // the name of the network block as the file spells it
  Statement cell_;               // the statement of the matrix cell being read
};

// ---- Limits ----

// Takes |count| objects of |bytesEach| bytes from the budget.
void NetworkReader::Charge(std::uint64_t count, std::uint64_t bytesEach) {
  if (count > budget_ / bytesEach) Fail("Network too large for the size of its file");
  budget_ -= count * bytesEach;
}

std::int64_t NetworkReader::BytesLeft() {
  std::uint64_t left = inputBytes_;
  MeasureInput(in_, left);
  return static_cast<std::int64_t>(left);
}

ActFunction NetworkReader::LookUpFunction(const std::string& name) {
  if (!network_->fnRegistry->HasFunction(name.c_str())) Fail("Unknown activation function " + name);
  return network_->fnRegistry->GetFunction(name.c_str());
}

// ---- Network and information block ----

TBasicNetwork* NetworkReader::Read() {
  header_ = ReadHeader();
  CreateNetwork(header_);

  Statement statement = Next(networkName_.c_str());
  while (IsAssignment(statement, "LAYER")) statement = ReadLayer(statement);
  while (IsTag(statement, "CONNECTIONLAYER")) statement = ReadConnectionLayer(statement.name);
  tools_.ExpectEnd(statement, in_);
  tools_.ExpectEnd(Next(nullptr), in_);

  for (int k = 0; k < network_->numLayers; ++k) {
    if (network_->layers[k] == nullptr) Fail(WithNumber("No Layer block for layer ", k));
  }
  return network_.release();
}

NetworkHeader NetworkReader::ReadHeader() {
  networkName_ = tools_.ExpectBlock(Next(nullptr), in_, "NEURALNETWORK");
  NetworkHeader header;
  header.type = tools_.GetString(Next(nullptr), in_, "NETWORKTYPE", nullptr);
  ReadInformation(header);

  if (header.numLayers < 0) Fail("Must specify number of layers");
  if (header.outputLayer < 0) header.outputLayer = header.numLayers - 1;
  if (!Is(header.type, "BASIC") && !Is(header.type, "CONNECTED") && !Is(header.type, "MLP")) {
    Fail("Unknown network type");
  }
  if (header.inputLayer < 0 || header.inputLayer >= header.numLayers) {
    Fail(WithNumber("Input layer out of range: ", header.inputLayer));
  }
  if (header.outputLayer >= header.numLayers) Fail(WithNumber("Output layer out of range: ", header.outputLayer));
  return header;
}

void NetworkReader::ReadInformation(NetworkHeader& header) {
  const std::string blockName = tools_.ExpectBlock(Next(nullptr), in_, "NETWORKINFORMATION");
  Statement statement = Next(blockName.c_str());
  while (statement.type == Assignment) {
    if (statement.open) Fail("Too complicated statement");
    const int value = Integer(statement.value);
    if (Is(statement.name, "NUMBEROFLAYERS")) {
      header.numLayers = value;
    } else if (Is(statement.name, "INPUTLAYER")) {
      header.inputLayer = value;
    } else if (Is(statement.name, "OUTPUTLAYER")) {
      header.outputLayer = value;
    } else if (Is(statement.name, "NUMBEROFINPUTS")) {
      header.numInputs = value;
    } else if (Is(statement.name, "NUMBEROFOUTPUTS")) {
      header.numOutputs = value;
    } else if (Is(statement.name, "BIASLAYER")) {
      header.biasLayer = value;
    } else {
      Fail("Unknown keyword");
    }
    statement = Next(blockName.c_str());
  }
  tools_.ExpectEnd(statement, in_);
}

void NetworkReader::CreateNetwork(const NetworkHeader& header) {
  const std::int64_t layers = header.numLayers;
  if (layers > TBasicNetwork::MaxLayers || layers * kMinLayerBlockBytes > BytesLeft()) {
    Fail(WithNumber("More layers than Layer blocks can follow: ", header.numLayers));
  }
  if (layers > kLayersOfFreeMatrix) Charge(static_cast<std::uint64_t>(layers * layers), kBytesPerBlockEntry);

  if (Is(header.type, "MLP")) {
    // The reading constructor adds the bias layer itself; a bias layer
    // numbered 0 (as the writer writes it) leaves the flag off.
    network_ = std::make_unique<TMLPNetwork>(header.numLayers - 1, header.biasLayer > 0);
  } else if (Is(header.type, "CONNECTED")) {
    network_ = std::make_unique<TConnectedNetwork>(header.numLayers);
  } else {
    network_ = std::make_unique<TBasicNetwork>(header.numLayers);
  }
  network_->inLayer = header.inputLayer;
  network_->outLayer = header.outputLayer;
}

// ---- Layer blocks ----

Statement NetworkReader::ReadLayer(const Statement& opening) {
  LayerState state;
  state.number = Integer(opening.value);
  state.blockName = opening.name;
  if (opening.open) Fail("Too complicated statement");
  if (state.number < 0 || state.number >= network_->numLayers) {
    Fail(WithNumber("Layer number out of range: ", state.number));
  }

  const char* blockdef = state.blockName.c_str();
  Statement statement = Next(blockdef);
  while (statement.type == Assignment || IsTag(statement, "ALL")) {
    if (statement.type == Tag) {
      if (!statement.open) Fail("[ALL] is incomplete statment");
      statement = Continuation();
      if (statement.type != Assignment) Fail("Required syntax is [ALL <keyword>=<val>]");
    }
    HandleLayerAssignment(state, statement);
    statement = Next(blockdef);
  }
  if (state.layer == nullptr) Fail(WithNumber("Layer type and number of neurons required for layer ", state.number));
  SetCommonFunction(state);

  if (IsTag(statement, "NEURONS")) {
    statement = ReadNeurons(state, statement);
  } else {
    for (char set : state.parameterSet) {
      if (!set) Fail("Incomplete Layer information");
    }
    for (int i = 0; i < state.layer->numNeurons; ++i) {
      state.layer->GetNeuron(i)->SetParameters(state.parameters.data());
    }
  }
  tools_.ExpectEnd(statement, in_);
  return Next(networkName_.c_str());
}

// One statement of a Layer block (alone or from an ALL bracket). The layer is
// created as soon as both its type and its neuron count are known.
void NetworkReader::HandleLayerAssignment(LayerState& state, const Statement& statement) {
  if (statement.open) Fail("Too complicated statement");
  if (Is(statement.name, "LAYERTYPE")) {
    state.type = statement.value;
    state.haveType = true;
  } else if (Is(statement.name, "NUMBEROFNEURONS")) {
    state.count = Integer(statement.value);
    state.haveCount = true;
  } else if (Is(statement.name, "ACTIVATIONFUNCTION")) {
    state.commonFn = LookUpFunction(statement.value);
  } else {
    if (state.layer == nullptr) {
      Fail("Parameter " + statement.name + " given before the layer's type and number of neurons");
    }
    if (state.layer->numNeurons == 0) Fail("Unknown neuron parameter " + statement.name);
    const int j = ParameterIndex(state.layer->GetNeuron(0), statement.name);
    state.parameters[static_cast<std::size_t>(j)] = Number(statement.value);
    state.parameterSet[static_cast<std::size_t>(j)] = 1;
  }
  if (state.haveType && state.haveCount && state.layer == nullptr) CreateLayer(state);
}

void NetworkReader::CreateLayer(LayerState& state) {
  if (state.number == header_.inputLayer && header_.numInputs >= 0 && header_.numInputs != state.count) {
    Fail("wrong number inputs in header");
  }
  if (state.number == header_.outputLayer && header_.numOutputs >= 0 && header_.numOutputs != state.count) {
    Fail("wrong number outputs in header");
  }
  const bool simple = Is(state.type, "SIMPLE");
  const bool input = Is(state.type, "INPUT");
  const bool gain = Is(state.type, "GAIN");
  if (!simple && !input && !gain) Fail("Unknown layer type");
  if (state.count < 0) Fail(WithNumber("Negative number of neurons: ", state.count));
  // A layer given again replaces the earlier one, whose memory goes back.
  const TBasicLayer* earlier = network_->layers[state.number];
  if (earlier != nullptr) budget_ += static_cast<std::uint64_t>(earlier->numNeurons) * kBytesPerNeuron;
  Charge(static_cast<std::uint64_t>(state.count), kBytesPerNeuron);

  TBasicNetwork* net = network_.get();
  TLayerPtr layer;
  if (simple) {
    layer.reset(new TSimpleLayer(net, state.number, state.count));
  } else if (input) {
    layer.reset(new TSimpleInputLayer(net, state.number, state.count));
  } else {
    layer.reset(new TGainLayer(net, state.number, state.count, 1.0));
  }
  int numParameters = 0;
  for (int i = 0; i < state.count; ++i) {
    numParameters = std::max(numParameters, layer->GetNeuron(i)->GetNumParameters());
  }
  state.parameters.assign(static_cast<std::size_t>(numParameters), 0.0);
  state.parameterSet.assign(static_cast<std::size_t>(numParameters), 0);
  state.layer = layer.get();
  net->SetLayer(state.number, layer.release());
}

// The index of the parameter that |neuron| calls |name|.
int NetworkReader::ParameterIndex(TBasicNeuron* neuron, const std::string& name) {
  const int count = neuron->GetNumParameters();
  for (int j = 0; j < count; ++j) {
    if (Netforge::strcasecmp(neuron->GetParameterName(j), name.c_str()) == 0) return j;
  }
  Fail("Unknown neuron parameter " + name);
}

void NetworkReader::SetCommonFunction(LayerState& state) {
  if (state.commonFn == nullptr) return;
  TBasicLayer* layer = state.layer;
  if (IsGainFunction(state.commonFn) && layer->numNeurons > 0 &&
      dynamic_cast<TGainNeuron*>(layer->GetNeuron(0)) == nullptr) {
    Fail(std::string("Activation function ") + network_->fnRegistry->GetFunctionName(state.commonFn) +
         " needs gain neurons");
  }
  layer->SetActivationFunction(state.commonFn);
}

// Reads the Neurons block that |opening| opens, then the statement after it.
Statement NetworkReader::ReadNeurons(LayerState& state, const Statement& opening) {
  const std::string blockName = opening.name;
  std::vector<char> defined(static_cast<std::size_t>(state.layer->numNeurons), 0);
  Statement statement = Next(blockName.c_str());
  while (IsAssignment(statement, "NEURON")) {
    ReadNeuronLine(state, statement, defined);
    statement = Next(blockName.c_str());
  }
  tools_.ExpectEnd(statement, in_);
  statement = Next(state.blockName.c_str());
  for (char isDefined : defined) {
    if (!isDefined) Fail("Neuron not defined");
  }
  return statement;
}

// One neuron line. Parameters it sets stay in the layer's list for the
// neuron lines that follow.
void NetworkReader::ReadNeuronLine(LayerState& state, const Statement& line, std::vector<char>& defined) {
  const int k = Integer(line.value);
  if (k < 0 || k >= state.layer->numNeurons) Fail(WithNumber("Neuron index out of range: ", k));
  if (defined[static_cast<std::size_t>(k)]) Fail("repeated neuron");
  TBasicNeuron* neuron = state.layer->GetNeuron(k);
  ActFunction own = nullptr;
  Statement statement = line;
  while (statement.open) {
    statement = Continuation();
    if (statement.type != Assignment) Fail("Equals clause expected in neuron parameter");
    if (Is(statement.name, "ACTIVATIONFUNCTION")) {
      own = LookUpFunction(statement.value);
    } else {
      const int j = ParameterIndex(neuron, statement.name);
      state.parameters[static_cast<std::size_t>(j)] = Number(statement.value);
      state.parameterSet[static_cast<std::size_t>(j)] = 1;
    }
  }
  neuron->SetParameters(state.parameters.data());
  if (state.commonFn == nullptr) {
    if (own == nullptr) Fail("No activation function defined");
    if (IsGainFunction(own) && dynamic_cast<TGainNeuron*>(neuron) == nullptr) {
      Fail(std::string("Activation function ") + network_->fnRegistry->GetFunctionName(own) + " needs gain neurons");
    }
    neuron->SetActivationFunction(own);
  }
  defined[static_cast<std::size_t>(k)] = 1;
}

// ---- ConnectionLayer blocks ----

Statement NetworkReader::ReadConnectionLayer(const std::string& blockName) {
  const char* blockdef = blockName.c_str();
  int from = -1;
  int to = -1;
  std::string type;
  Statement statement = Next(blockdef);
  while (statement.type == Assignment || IsTag(statement, "ATTRIBUTES")) {
    if (statement.type == Tag) {
      while (statement.open) statement = Continuation();  // the attributes follow from the type
    } else if (statement.open) {
      Fail("Too complicated statement");
    } else if (Is(statement.name, "LAYERFROM")) {
      from = Integer(statement.value);
    } else if (Is(statement.name, "LAYERTO")) {
      to = Integer(statement.value);
    } else if (Is(statement.name, "CONNECTIONTYPE")) {
      type = statement.value;
    } else {
      Fail("Unknown keyword in connections");
    }
    statement = Next(blockdef);
  }
  if (from < 0 || to < 0 || !(Is(type, "PRUNEABLE") || Is(type, "FULLYCONNECTED"))) {
    Fail("Insufficient information to construct layer");
  }
  BlockState state = CreateBlock(from, to, type);

  while (IsTag(statement, "MATRIX") || IsTag(statement, "WEIGHTLIST")) {
    if (Is(statement.name, "MATRIX")) {
      ReadMatrix(state, statement);
    } else {
      ReadWeightList(state, statement.name);
    }
    statement = Next(blockdef);
  }
  tools_.ExpectEnd(statement, in_);
  return Next(networkName_.c_str());
}

BlockState NetworkReader::CreateBlock(int from, int to, const std::string& type) {
  TBasicNetwork* net = network_.get();
  if (from >= net->numLayers) Fail(WithNumber("LayerFrom out of range: ", from));
  if (to >= net->numLayers) Fail(WithNumber("LayerTo out of range: ", to));
  if (net->layers[from] == nullptr) Fail(WithNumber("LayerFrom names a layer without Layer block: ", from));
  if (net->layers[to] == nullptr) Fail(WithNumber("LayerTo names a layer without Layer block: ", to));
  if (net->priv_conns_index[to][from]->IsConnected()) Fail("Connections already defined");

  BlockState state;
  state.nFrom = net->layers[from]->numNeurons;
  state.nTo = net->layers[to]->numNeurons;
  const std::uint64_t cells = static_cast<std::uint64_t>(state.nFrom) * static_cast<std::uint64_t>(state.nTo);
  Charge(static_cast<std::uint64_t>(state.nTo), kBytesPerTargetRow);
  Charge(cells, kBytesPerConnection);
  // A block addresses its connections with int.
  if (cells > static_cast<std::uint64_t>(std::numeric_limits<int>::max())) Fail("Connection block too large");
  std::unique_ptr<TBasicConnections> block;
  if (Is(type, "FULLYCONNECTED")) {
    block = std::make_unique<TConnectedConnections>(net, from, to);
  } else {
    block = std::make_unique<TPrunedConnections>(net, from, to);
  }
  state.freezable = Netforge::strcasecmp(block->GetConnectionsNType(), "FullyConnected") != 0;
  state.block = block.get();
  net->InstallConnections(block.release());

  // A pruneable block starts without connections: only those the file
  // lists exist. A new block's weights are all 0.0, as pruned ones must be,
  // so clearing the flags prunes every connection at once.
  if (Is(type, "PRUNEABLE")) {
    auto* pruned = static_cast<TPrunedConnections*>(state.block);
    std::fill(pruned->array_masks.begin(), pruned->array_masks.end(), static_cast<unsigned char>(0));
  }
  return state;
}

void NetworkReader::ReadMatrix(BlockState& state, const Statement& opening) {
  const std::string blockName = opening.name;
  std::vector<bool> isWeight;  // the items of every cell, in order
  Statement statement = opening;
  while (statement.open) {
    statement = Continuation();
    if (statement.type != Tag) Fail("Keyword expected in matrix parameter");
    if (Is(statement.name, "WEIGHTS")) {
      isWeight.push_back(true);
    } else if (Is(statement.name, "TRAINABLEINFO")) {
      isWeight.push_back(false);
    } else {
      Fail("Unknown matrix attribute");
    }
    if (isWeight.size() > static_cast<std::size_t>(kMaxMatrixItems)) Fail("More than nine items in a Matrix bracket");
  }
  if (!isWeight.empty()) {
    CellAccess cells(state.block);
    for (int from = 0; from < state.nFrom; ++from) {
      for (int to = 0; to < state.nTo; ++to) ReadMatrixCell(state, cells, from, to, isWeight, blockName);
    }
  }
  tools_.ExpectEnd(Next(blockName.c_str()), in_);
}

void NetworkReader::ReadMatrixCell(BlockState& state, CellAccess& cells, int from, int to,
                                   const std::vector<bool>& isWeight, const std::string& blockName) {
  bool pendingFreeze = false;  // an "F" met before the weight that creates the connection
  for (const bool weightItem : isWeight) {
    // Cells mostly come from the buffer in place; otherwise one Statement
    // serves every cell, so that reading a cell allocates nothing.
    std::string_view cell;
    if (!tools_.ReadBufferedWord(in_, cell)) {
      tools_.ReadStatement(in_, blockName.c_str(), false, cell_);
      if (cell_.type != Token) Fail("Token Expected");
      cell = cell_.name;
    }
    if (weightItem) {
      if (cell == "-") {
        if (!state.freezable) Fail("A FullyConnected block cannot remove a connection");
        cells.Prune(from, to);
        continue;
      }
      const double weight = tools_.ParseNumber(in_, cell);
      const bool existed = cells.IsValid(from, to);
      cells.Set(from, to, weight);
      if (!existed && pendingFreeze) cells.SetUnTrainable(from, to);
    } else if (cell.size() == 1 && (cell[0] == 'T' || cell[0] == 't')) {  // Is(cell, "T")
      cells.SetTrainable(from, to);
      pendingFreeze = false;
    } else if (cell.size() == 1 && (cell[0] == 'F' || cell[0] == 'f')) {  // Is(cell, "F")
      if (!state.freezable) Fail("A FullyConnected block cannot freeze a connection");
      pendingFreeze = !cells.IsValid(from, to);
      cells.SetUnTrainable(from, to);
    } else {
      if (cells.IsValid(from, to)) Fail("Flag T or F expected for an existing connection");
      pendingFreeze = false;
    }
  }
}

void NetworkReader::ReadWeightList(BlockState& state, const std::string& blockName) {
  Statement statement = Next(blockName.c_str());
  while (statement.type == Tag || statement.type == Assignment) {
    ReadWeightListEntry(state, statement);
    statement = Next(blockName.c_str());
  }
  tools_.ExpectEnd(statement, in_);
}

void NetworkReader::ReadWeightListEntry(BlockState& state, Statement statement) {
  int from = -1;
  int to = -1;
  double weight = 0.0;
  bool trainable = true;
  for (;;) {
    if (statement.type == Assignment) {
      if (Is(statement.name, "FROM")) {
        from = Integer(statement.value);
      } else if (Is(statement.name, "TO")) {
        to = Integer(statement.value);
      } else if (Is(statement.name, "WEIGHT")) {
        weight = Number(statement.value);
      } else {
        Fail("Unknown keyword in weights list");
      }
    } else if (Is(statement.name, "TRAINABLE")) {
      trainable = true;
    } else if (Is(statement.name, "UNTRAINABLE")) {
      trainable = false;
    } else {
      // Echoed so that a user sees which word was not understood.
      std::string echo = statement.name;
      echo += '\n';
      Netforge::WriteConsole(Netforge::ConsoleStream::Output, echo);
      Fail("Unknown keyword in weights list");
    }
    if (!statement.open) break;
    statement = Continuation();
  }
  if (from < 0 || to < 0) Fail("Insufficient information in weights list");
  if (from >= state.nFrom) Fail(WithNumber("From out of range in weights list: ", from));
  if (to >= state.nTo) Fail(WithNumber("To out of range in weights list: ", to));
  if (!trainable && !state.freezable) Fail("A FullyConnected block cannot freeze a connection");

  TBasicConnections* block = state.block;
  block->AddConnection(from, to);
  if (trainable) {
    block->SetTrainable(from, to);
  } else {
    block->SetUnTrainable(from, to);
  }
  block->Weight(from, to) = weight;
}

}  // namespace

TBasicNetwork* FileTools::LoadNetwork(const char* fileName, TKQstructure* status) {
  delete status;
  // A larger buffer than the default, so that the file system sees fewer
  // reads; left uninitialised, as the stream fills it. Declared before the
  // stream, which uses it until it is destroyed.
  constexpr std::size_t kBufferSize = std::size_t{1} << 16;
  const std::unique_ptr<char[]> buffer(new char[kBufferSize]);
  std::ifstream file;
  file.rdbuf()->pubsetbuf(buffer.get(), static_cast<std::streamsize>(kBufferSize));
  if (fileName != nullptr) file.open(fileName);
  if (!file.is_open()) throw Error{"Error on File Open", &file, nullptr};
  return ReadNetwork(file, nullptr);
}

TBasicNetwork* FileTools::ReadNetwork(std::istream& in, TKQstructure* status) {
  delete status;
  try {
    // A stream that has failed reads as ended, as it does for the tokenizer.
    std::uint64_t bytes = 0;
    BeginReading(in);
    if (!in.good() || MeasureInput(in, bytes)) return NetworkReader(*this, in, bytes).Read();

    // A stream that cannot tell its size (a pipe) is read whole first, so
    // that the size limits can still be taken from the content.
    std::string content{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    in.setstate(std::ios_base::eofbit);
    bytes = content.size();
    std::istringstream copy(std::move(content));
    BeginReading(copy);
    try {
      return NetworkReader(*this, copy, bytes).Read();
    } catch (Error& error) {
      error.in = &in;
      throw;
    }
  } catch (const std::ios_base::failure&) {
    // A stream buffer that cannot read (a folder opened as a file, a device
    // error) throws from inside the tokenizer.
    throw Error{"Error on File Read", &in, nullptr};
  }
}
