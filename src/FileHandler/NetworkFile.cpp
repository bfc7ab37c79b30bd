// The network file writer: SaveNetwork, WriteNetwork and their visitor.
//
// The writer streams: it never holds more than one matrix row of the file in
// memory, so networks of tens of millions of weights are written at close to
// disk speed. Every number is formatted with Common/NumberText.h, never with
// the stream's own number formatting, so the bytes do not depend on the
// stream's flags or on any locale.
#include "FileHandler/NetworkFile.h"

#include <cstring>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <ostream>
#include <string>
#include <typeinfo>
#include <vector>

#include "Common/Assert.h"
#include "Common/NumberText.h"
#include "Common/StrCase.h"
#include "KQmessage/KQML.h"
#include "NeuralNets/TConnectedConnections.h"
#include "NeuralNets/TPrunedConnections.h"

namespace {

const char* const kWriteFailed = "Error writing network file";

// The file buffer of SaveNetwork: large enough that the file system sees few,
// large writes (rows longer than the buffer go to the file directly).
constexpr std::size_t kFileBufferSize = std::size_t{1} << 16;

// Field widths of the matrix form: every cell is a weight right-aligned in
// 20 characters and a blank, plus a flag letter and a blank when the block is
// freezable. The column numbers stand above the last character of their cell.
constexpr int kCellWidth = 20;
constexpr int kFirstColumnWidth = 13;
constexpr int kFurtherColumnWidth = 21;
constexpr int kFlagWidth = 2;
// Upper bound of the bytes one cell or one row tail (" /* r */\n") takes:
// "%.15g" gives at most 22 characters ("-1.23456789012345e-308").
constexpr std::size_t kMaxCellBytes = 32;
constexpr std::size_t kMaxRowTailBytes = 40;

[[noreturn]] void FailWriting(std::ostream& out, const char* message) {
  throw FileTools::Error{message, nullptr, &out};
}

// A stream that has failed stays failed; stopping at once avoids formatting
// the rest of a large network for nothing.
void CheckStream(std::ostream& out) {
  if (out.fail()) FailWriting(out, kWriteFailed);
}

void Put(std::ostream& out, const char* first, const char* last) {
  out.write(first, static_cast<std::streamsize>(last - first));
}

// Writes |text| right-aligned in |width| characters at |p|; returns the end.
char* PutRight(char* p, const char* text, std::size_t length, int width) {
  if (length < static_cast<std::size_t>(width)) {
    const std::size_t padding = static_cast<std::size_t>(width) - length;
    std::memset(p, ' ', padding);
    p += padding;
  }
  std::memcpy(p, text, length);
  return p + length;
}

// A matrix cell: |text| (at most kMaxCellBytes long, in a buffer of at least
// kMaxCellBytes bytes) right-aligned in kCellWidth characters. Both copies
// have a fixed size, so they compile to a few stores instead of two library
// calls per cell; the second one also copies bytes behind the text, which
// lie inside the cell's kMaxCellBytes and are overwritten by what follows.
char* PutCell(char* p, const char* text, std::size_t length) {
  static constexpr char kBlanks[kCellWidth + 1] = "                    ";
  std::memcpy(p, kBlanks, kCellWidth);
  const std::size_t padding = length < kCellWidth ? kCellWidth - length : 0;
  std::memcpy(p + padding, text, kMaxCellBytes);
  return p + padding + length;
}

char* PutLongRight(char* p, long value, int width) {
  char text[Netforge::kNumberBufferSize];
  const char* end = Netforge::FormatLong(text, value);
  return PutRight(p, text, static_cast<std::size_t>(end - text), width);
}

char* PutText(char* p, const char* text) {
  const std::size_t length = std::strlen(text);
  std::memcpy(p, text, length);
  return p + length;
}

// "[word word ... ]": a bracket of inline tags, as the Attributes and Matrix
// lines are written.
void WriteTagLine(FileTools& tools, std::ostream& out, std::initializer_list<const char*> words) {
  tools.WriteOpenBracket(out, true);
  for (const char* word : words) tools.WriteTag(out, word, false);
  tools.WriteCloseBracket(out, true, true);
}

// ---- Information and layer blocks ----

// A layer of the "bias" function is stored as a bias layer, which holds
// exactly one neuron whose output is always 1.0: the reader rebuilds it from
// the layer number alone. A layer of the function with more neurons cannot be
// stored (one without neurons is written as an ordinary layer).
bool IsWritableLayer(TBasicLayer* layer, ActFunction bias) {
  return layer->GetActivationFunction() != bias || layer->numNeurons <= 1;
}

const char* const kIllegalBias = "Illegal number of bias nodes";

void WriteInformation(FileTools& tools, std::ostream& out, TBasicNetwork* network) {
  tools.WriteTag(out, "NetworkInformation", true);
  tools.WriteInteger(out, "NumberOfLayers", network->numLayers, true);
  tools.WriteInteger(out, "InputLayer", network->inLayer, true);
  tools.WriteInteger(out, "OutputLayer", network->outLayer, true);
  tools.WriteInteger(out, "NumberOfInputs", network->layers[network->inLayer]->numNeurons, true);
  tools.WriteInteger(out, "NumberOfOutputs", network->layers[network->outLayer]->numNeurons, true);
  const ActFunction bias = network->fnRegistry->GetFunction("bias");
  for (int k = 0; k < network->numLayers; ++k) {
    TBasicLayer* layer = network->layers[k];
    if (layer->GetActivationFunction() != bias || layer->numNeurons < 1) continue;
    if (!IsWritableLayer(layer, bias)) FailWriting(out, kIllegalBias);
    tools.WriteInteger(out, "BiasLayer", k, true);
  }
  tools.WriteEndTag(out, "NetworkInformation");
}

// "[All key=value ]".
void WriteAllOpen(FileTools& tools, std::ostream& out) {
  tools.WriteOpenBracket(out, true);
  tools.WriteTag(out, "All", false);
}

// The neuron parameters of a layer with at least one neuron: an All line for
// each parameter that every neuron shares, then the Neurons block when the
// neurons differ in their function or in some parameter.
void WriteNeuronParameters(FileTools& tools, std::ostream& out, TBasicNetwork* network, TBasicLayer* layer,
                           bool commonFunction) {
  TBasicNeuron* first = layer->GetNeuron(0);
  const int count = first->GetNumParameters();
  std::vector<double> firstValues(static_cast<std::size_t>(count));
  std::vector<double> values(static_cast<std::size_t>(count));
  std::vector<char> shared(static_cast<std::size_t>(count), 1);
  if (count > 0) {
    first->GetParameters(firstValues.data());
    for (int m = 1; m < layer->numNeurons; ++m) {
      TBasicNeuron* neuron = layer->GetNeuron(m);
      neuron->GetParameters(values.data());
      for (int j = 0; j < count; ++j) {
        if (!shared[j]) continue;
        if (values[j] != firstValues[j] ||
            Netforge::strcasecmp(neuron->GetParameterName(j), first->GetParameterName(j)) != 0) {
          shared[j] = 0;
        }
      }
    }
  }

  bool allShared = true;
  for (int j = 0; j < count; ++j) {
    if (!shared[j]) {
      allShared = false;
      continue;
    }
    WriteAllOpen(tools, out);
    tools.WriteNumber(out, first->GetParameterName(j), firstValues[j], kNetworkFilePrecision, false);
    tools.WriteCloseBracket(out, true, true);
  }
  if (commonFunction && allShared) return;

  tools.WriteTag(out, "Neurons", true);
  for (int m = 0; m < layer->numNeurons; ++m) {
    TBasicNeuron* neuron = layer->GetNeuron(m);
    tools.WriteOpenBracket(out, true);
    tools.WriteInteger(out, "Neuron", m, false);
    if (!commonFunction) {
      const char* name = network->fnRegistry->GetFunctionName(neuron->GetActivationFunction());
      tools.WriteString(out, "ActivationFunction", name, false);
    }
    if (!allShared) {
      neuron->GetParameters(values.data());
      for (int j = 0; j < count; ++j) {
        if (!shared[j]) tools.WriteNumber(out, neuron->GetParameterName(j), values[j], kNetworkFilePrecision, false);
      }
    }
    tools.WriteCloseBracket(out, true, true);
  }
  tools.WriteEndTag(out, "Neurons");
}

void WriteLayer(FileTools& tools, std::ostream& out, TBasicNetwork* network, int k) {
  TBasicLayer* layer = network->layers[k];
  tools.WriteNewLine(out);
  tools.WriteInteger(out, "Layer", k, true);
  tools.WriteString(out, "LayerType", layer->GetTypeName(), true);
  tools.WriteInteger(out, "NumberOfNeurons", layer->numNeurons, true);
  const ActFunction fn = layer->GetActivationFunction();
  if (fn != nullptr) {
    WriteAllOpen(tools, out);
    tools.WriteString(out, "ActivationFunction", network->fnRegistry->GetFunctionName(fn), false);
    tools.WriteCloseBracket(out, true, true);
  }
  if (layer->numNeurons > 0) WriteNeuronParameters(tools, out, network, layer, fn != nullptr);
  tools.WriteEndTag(out, "Layer");
}

// ---- Connection blocks ----

// The cells of one block as the matrix form reads them: connection (from,
// to) is the cell in row |from|, column |to|. The two weight-carrying block
// classes are read straight from their rows (one row per target, so the
// matrix is read transposed); any other block through its virtual operations.
class BlockCells {
 public:
  explicit BlockCells(TBasicConnections* block) : block_(block) {
    if (typeid(*block) == typeid(TPrunedConnections)) {
      auto* pruned = static_cast<TPrunedConnections*>(block);
      weightRows_ = pruned->index_weights.data();
      maskRows_ = pruned->index_masks.data();
      masks_ = &pruned->array_masks;
    } else if (typeid(*block) == typeid(TConnectedConnections)) {
      weightRows_ = static_cast<TConnectedConnections*>(block)->index_weights.data();
    }
  }

  // The flag bits of the connection as IsValid and IsTrainable report them.
  unsigned Flags(int from, int to) const {
    if (maskRows_ != nullptr) return maskRows_[to][from];
    if (weightRows_ != nullptr) return FMaskAll;
    unsigned flags = 0;
    if (block_->IsValid(from, to)) flags |= FMaskExists;
    if (block_->IsTrainable(from, to)) flags |= FMaskTrainable;
    return flags;
  }

  double Weight(int from, int to) const {
    return weightRows_ != nullptr ? weightRows_[to][from] : block_->Weight(from, to);
  }

  // Number of existing connections.
  long CountExisting() const {
    if (masks_ != nullptr) {
      long count = 0;
      for (unsigned char flags : *masks_) count += (flags & FMaskExists) != 0;
      return count;
    }
    TIterateObjCount counter;
    block_->Iterate(counter, FMaskExists);
    return counter.numVisited;
  }

 private:
  TBasicConnections* block_;
  double* const* weightRows_ = nullptr;               // direct rows, when the class is known
  unsigned char* const* maskRows_ = nullptr;          // direct flag rows of a pruned block
  const std::vector<unsigned char>* masks_ = nullptr;  // all flags of a pruned block
};

// "/* To->" and the target numbers, each above the last character of its
// column's cells, then "  From */".
char* PutColumnHeader(char* p, int nTo, bool freezable) {
  const int extra = freezable ? kFlagWidth : 0;
  p = PutText(p, "/* To->");
  for (int c = 0; c < nTo; ++c) p = PutLongRight(p, c, (c == 0 ? kFirstColumnWidth : kFurtherColumnWidth) + extra);
  return PutText(p, "  From */\n");
}

// One matrix row: the cells of source neuron |r| for every target, then
// " /* r */".
char* PutMatrixRow(char* p, const BlockCells& cells, int r, int nTo, bool freezable) {
  char number[Netforge::kNumberBufferSize] = {};
  for (int c = 0; c < nTo; ++c) {
    const unsigned flags = cells.Flags(r, c);
    const bool exists = (flags & FMaskExists) != 0;
    if (exists) {
      const char* end = Netforge::FormatGeneral(number, cells.Weight(r, c), kNetworkFilePrecision);
      p = PutCell(p, number, static_cast<std::size_t>(end - number));
    } else {
      p = PutRight(p, "-", 1, kCellWidth);
    }
    *p++ = ' ';
    if (freezable) {
      // A cell that holds no weight holds no flag either.
      *p++ = !exists ? '-' : ((flags & FMaskTrainable) != 0 ? 'T' : 'F');
      *p++ = ' ';
    }
  }
  p = PutText(p, " /* ");
  p = PutLongRight(p, r, 0);
  return PutText(p, " */\n");
}

void WriteMatrix(FileTools& tools, std::ostream& out, const BlockCells& cells, int nFrom, int nTo,
                 bool freezable) {
  if (freezable) WriteTagLine(tools, out, {"Matrix", "Weights", "TrainableInfo"});
  else WriteTagLine(tools, out, {"Matrix", "Weights"});

  // One reusable line buffer; a row is built in it and written in one call.
  std::string line(static_cast<std::size_t>(nTo) * kMaxCellBytes + kMaxRowTailBytes, ' ');
  char* const first = line.data();
  Put(out, first, PutColumnHeader(first, nTo, freezable));
  for (int r = 0; r < nFrom; ++r) {
    Put(out, first, PutMatrixRow(first, cells, r, nTo, freezable));
    CheckStream(out);
  }
  tools.WriteEndTag(out, "Matrix");
}

void WriteWeightList(FileTools& tools, std::ostream& out, TBasicConnections* block, bool freezable) {
  tools.WriteTag(out, "WeightList", true);
  TIterateObjSaveWeights writer(out, tools, freezable);
  block->Iterate(writer, FMaskExists);
  tools.WriteEndTag(out, "WeightList");
}

void WriteConnectionLayer(FileTools& tools, std::ostream& out, TBasicNetwork* network, int from, int to) {
  TBasicConnections* block = network->priv_conns_index[to][from];
  const char* type = block->GetConnectionsNType();
  // A fully connected block can neither lose a connection nor freeze one, so
  // it has no flags to write.
  const bool freezable = Netforge::strcasecmp(type, "FullyConnected") != 0;

  tools.WriteNewLine(out);
  tools.WriteTag(out, "ConnectionLayer", true);
  tools.WriteInteger(out, "LayerFrom", from, true);
  tools.WriteInteger(out, "LayerTo", to, true);
  tools.WriteString(out, "ConnectionType", type, true);
  if (freezable) WriteTagLine(tools, out, {"Attributes", "Pruneable", "Freezable"});
  else WriteTagLine(tools, out, {"Attributes", "UnPrunable", "UnFreezable"});

  const int nFrom = network->layers[from]->numNeurons;
  const int nTo = network->layers[to]->numNeurons;
  const BlockCells cells(block);
  // Below 35 % of the possible connections the list is the shorter form.
  const double possible = static_cast<double>(nFrom) * static_cast<double>(nTo);
  if (possible * 0.35 > static_cast<double>(cells.CountExisting())) {
    WriteWeightList(tools, out, block, freezable);
  } else {
    WriteMatrix(tools, out, cells, nFrom, nTo, freezable);
  }
  tools.WriteEndTag(out, "ConnectionLayer");
  CheckStream(out);
}

}  // namespace

void TIterateObjSaveWeights::Visit() {
  tools.WriteOpenBracket(out, true);
  tools.WriteInteger(out, "From", from, false);
  tools.WriteInteger(out, "To", to, false);
  tools.WriteNumber(out, "Weight", *weight, precision, false);
  if (freezable) tools.WriteTag(out, trainable ? "Trainable" : "UnTrainable", false);
  tools.WriteCloseBracket(out, true, true);
}

bool FileTools::CanWriteNetwork(TBasicNetwork* network, std::string* reason) {
  NF_ASSERT(network != nullptr);
  const ActFunction bias = network->fnRegistry->GetFunction("bias");
  for (int k = 0; k < network->numLayers; ++k) {
    if (IsWritableLayer(network->layers[k], bias)) continue;
    if (reason != nullptr) *reason = kIllegalBias;
    return false;
  }
  return true;
}

void FileTools::WriteNetwork(std::ostream& out, TBasicNetwork* network, TKQstructure* status) {
  delete status;  // nothing is reported through it
  NF_ASSERT(network != nullptr);
  // Matrix cells are formatted at this precision too, by the writer itself.
  out.precision(kNetworkFilePrecision);

  WriteFormatVersion(out);
  WriteTag(out, "NeuralNetwork", true);
  WriteString(out, "NetworkType", network->GetNetworkType(), true);
  WriteNewLine(out);
  WriteInformation(*this, out, network);
  for (int k = 0; k < network->numLayers; ++k) WriteLayer(*this, out, network, k);
  CheckStream(out);
  for (int from = 0; from < network->numLayers; ++from) {
    for (int to = 0; to < network->numLayers; ++to) {
      if (network->priv_conns_index[to][from]->IsConnected()) WriteConnectionLayer(*this, out, network, from, to);
    }
  }
  WriteNewLine(out);
  WriteEndTag(out, "NeuralNetwork");
  CheckStream(out);
}

void FileTools::SaveNetwork(const char* fileName, TBasicNetwork* network, TKQstructure* status) {
  delete status;  // nothing is reported through it
  NF_ASSERT(fileName != nullptr);
  // Declared before the stream, so that it outlives the stream's last flush;
  // left uninitialised, as the stream fills it.
  const std::unique_ptr<char[]> buffer(new char[kFileBufferSize]);
  std::ofstream file;
  file.rdbuf()->pubsetbuf(buffer.get(), static_cast<std::streamsize>(kFileBufferSize));
  file.open(fileName, std::ios::out | std::ios::trunc);
  if (!file.is_open()) throw Error{"Error on File Open", nullptr, &file};
  // On a throw the stream's destructor closes the file with what was written.
  WriteNetwork(file, network, nullptr);
  // Disk-full and similar errors often show only when the buffer is flushed.
  file.close();
  if (file.fail()) throw Error{kWriteFailed, nullptr, &file};
}
