#include "NeuralNets/TMLPNetwork.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <vector>

#include "Common/Assert.h"
#include "DataObject/Data.h"
#include "KQmessage/TException.h"
#include "NeuralNets/TErrorObj.h"

namespace {

// numLayers + 1 must not overflow on the way to Init's own size check.
int LayerCountWithBias(int numLayers) {
  NF_ASSERT(numLayers>=0);
  if (numLayers >= TBasicNetwork::MaxLayers) throw std::length_error("network too large: more than 46340 layers");
  return numLayers + 1;
}

}  // namespace

TMLPNetwork::TMLPNetwork(int numLayers, const int* sizes, bool bias) : bias(bias) {
  NF_ASSERT(numLayers>=1);
  NF_ASSERT(sizes != NULL);
  Init(LayerCountWithBias(numLayers));
  SetLayer(0, new TSimpleLayer(this, 0, bias ? 1 : 0));
  SetLayer(1, new TSimpleInputLayer(this, 1, sizes[0]));
  for (int k = 2; k <= numLayers; ++k) SetLayer(k, new TGainLayer(this, k, sizes[k - 1], 1.0));
  layers[1]->SetActivationFunction(fnRegistry->GetFunction("linear"));
  for (int k = 2; k <= numLayers; ++k) {
    Connect(k - 1, k);
    layers[k]->SetActivationFunction(fnRegistry->GetFunction("sigmoid"));
  }
  if (bias) {
    layers[0]->SetActivationFunction(fnRegistry->GetFunction("bias"));
    for (int k = 2; k <= numLayers; ++k) Connect(0, k);
  }
  inLayer = 1;
}

TMLPNetwork::TMLPNetwork(int numLayers, bool bias) : bias(bias) {
  Init(LayerCountWithBias(numLayers));
}

TMLPNetwork::~TMLPNetwork() = default;

const char* TMLPNetwork::GetNetworkType() {
  return "MLP";
}

// ---- Running a data set through the network ----

namespace {

// Null as the checks of the data set operations name it.
constexpr std::nullptr_t nil = nullptr;

// How many input and output values Data::Next writes for |data|.
int InputsDelivered(const Data& data) {
  if (data.MbrNdxInputs <= 0) return 0;
  return data.MbrDyaSelInputs != nullptr ? data.MbrNdxSelInputs : data.MbrNdxInputs;
}

int OutputsDelivered(const Data& data) {
  if (data.MbrNdxOutputs <= 0) return 0;
  const bool selected = data.MbrDyaSelInputs != nullptr && data.MbrDyaSelOutputs != nullptr;
  return selected ? data.MbrNdxSelOutputs : data.MbrNdxOutputs;
}

// Next writes straight into the work vectors and the network reads them, so
// a data set of another width would overrun them or feed stale values.
void CheckInputs(const Data& data, int nIn, const char* origin) {
  if (InputsDelivered(data) != nIn) {
    throw TException("Data set inputs do not match the input layer", "Bad Parameter", origin, nullptr);
  }
}

// Reads |rows| rows of |in| with Next, in order, runs them through |network|
// in batches (RecallBatch, which gives each row the bits Recall gives it)
// and calls visit(inputs, targets, outputs) for each row in order; |targets|
// is read only when |withTargets|.
template <class Visit>
void RecallRows(TBasicNetwork& network, Data& in, std::int32_t rows, int nIn, int nOut, bool withTargets,
                Visit visit) {
  constexpr std::int32_t kBatchRows = 256;
  const std::size_t in_ = static_cast<std::size_t>(nIn);
  const std::size_t out = static_cast<std::size_t>(nOut);
  std::vector<double> inputs(kBatchRows * in_);
  std::vector<double> targets(withTargets ? kBatchRows * out : 0);
  std::vector<double> outputs(kBatchRows * out);
  for (std::int32_t first = 0; first < rows; first += kBatchRows) {
    const std::int32_t batch = std::min(kBatchRows, rows - first);
    for (std::int32_t r = 0; r < batch; ++r) {
      in.Next(inputs.data() + r * in_, withTargets ? targets.data() + r * out : nullptr, nullptr);
    }
    network.RecallBatch(inputs.data(), outputs.data(), batch);
    for (std::int32_t r = 0; r < batch; ++r) {
      visit(inputs.data() + r * in_, withTargets ? targets.data() + r * out : nullptr, outputs.data() + r * out);
    }
  }
}

}  // namespace

Data* TMLPNetwork::RecallData(Data* in) {
  NF_ASSERT(in != nil);
  const int nIn = layers[inLayer]->numNeurons;
  const int nOut = layers[outLayer]->numNeurons;
  CheckInputs(*in, nIn, "TMLPNetwork::RecallData");

  in->MbrNdxCurrent = in->MbrNdxLast;
  auto result = std::make_unique<Data>(in->MbrNdxRows, nIn, nOut, false);
  RecallRows(*this, *in, in->MbrNdxRows, nIn, nOut, false,
             [&](const double* inputs, const double*, const double* outputs) {
               result->AppendRow(inputs, outputs, nullptr);
             });
  return result.release();
}

void TMLPNetwork::RecallOutputOnly(Data* in, Data** out) {
  if (in == nil) {
    throw TException("Null data pointer", "Null Pointer Parameter", "TBriarNet::RecallOutputOnly", nullptr);
  }
  NF_ASSERT(out != nil);
  const int nIn = layers[inLayer]->numNeurons;
  const int nOut = layers[outLayer]->numNeurons;
  CheckInputs(*in, nIn, "TBriarNet::RecallOutputOnly");

  in->MbrNdxCurrent = in->MbrNdxLast;
  *out = new Data(in->MbrNdxDataRows, 0, nOut, false);
  Data* result = *out;
  RecallRows(*this, *in, in->MbrNdxDataRows, nIn, nOut, false,
             [&](const double*, const double*, const double* outputs) {
               result->AppendRow(nullptr, outputs, nullptr);
             });
}

double TMLPNetwork::ComputeError(Data* in, TErrorObj* err) {
  NF_ASSERT(in != nil);
  NF_ASSERT(err != nil);
  const int nIn = layers[inLayer]->numNeurons;
  const int nOut = layers[outLayer]->numNeurons;
  CheckInputs(*in, nIn, "TMLPNetwork::ComputeError");
  if (OutputsDelivered(*in) != nOut) {
    throw TException("Data set outputs do not match the output layer", "Bad Parameter",
                     "TMLPNetwork::ComputeError", nullptr);
  }
  if (err->GetNumOutputs() != nOut) {
    throw TException("Error object does not match the output layer", "Bad Parameter",
                     "TMLPNetwork::ComputeError", nullptr);
  }

  in->MbrNdxCurrent = in->MbrNdxLast;
  RecallRows(*this, *in, in->MbrNdxRows, nIn, nOut, true,
             [&](const double*, const double* targets, const double* outputs) {
               err->AddPattern(targets, outputs);
             });
  return err->GetError();
}
