#include "NeuralNets/TMLPNetwork.h"

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

}  // namespace

Data* TMLPNetwork::RecallData(Data* in) {
  NF_ASSERT(in != nil);
  const int nIn = layers[inLayer]->numNeurons;
  const int nOut = layers[outLayer]->numNeurons;
  CheckInputs(*in, nIn, "TMLPNetwork::RecallData");

  in->MbrNdxCurrent = in->MbrNdxLast;
  auto result = std::make_unique<Data>(in->MbrNdxRows, nIn, nOut, false);
  std::vector<double> inputs(static_cast<std::size_t>(nIn));
  std::vector<double> outputs(static_cast<std::size_t>(nOut));
  for (std::int32_t row = 0; row < in->MbrNdxRows; ++row) {
    in->Next(inputs.data(), nullptr, nullptr);
    Recall(inputs.data(), outputs.data());
    result->AppendRow(inputs.data(), outputs.data(), nullptr);
  }
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
  std::vector<double> inputs(static_cast<std::size_t>(nIn));
  std::vector<double> outputs(static_cast<std::size_t>(nOut));
  for (std::int32_t row = 0; row < in->MbrNdxDataRows; ++row) {
    in->Next(inputs.data(), nullptr, nullptr);
    Recall(inputs.data(), outputs.data());
    (*out)->AppendRow(nullptr, outputs.data(), nullptr);
  }
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
  std::vector<double> inputs(static_cast<std::size_t>(nIn));
  std::vector<double> targets(static_cast<std::size_t>(nOut));
  std::vector<double> outputs(static_cast<std::size_t>(nOut));
  for (std::int32_t row = 0; row < in->MbrNdxRows; ++row) {
    in->Next(inputs.data(), targets.data(), nullptr);
    Recall(inputs.data(), outputs.data());
    err->AddPattern(targets.data(), outputs.data());
  }
  return err->GetError();
}
