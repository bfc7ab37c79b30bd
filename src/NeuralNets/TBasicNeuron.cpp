#include "NeuralNets/TBasicNeuron.h"

#include "Common/Assert.h"
#include "NeuralNets/TBasicLayer.h"

void TBasicNeuron::Activate(double net) {
  actFn(this, net);
}

int TBasicNeuron::GetNumParameters() {
  return 0;
}

void TBasicNeuron::GetParameters(double*) {}

void TBasicNeuron::SetParameters(const double*) {}

const char* TBasicNeuron::GetParameterName(int) {
  NF_ASSERT(false);
  return nullptr;
}

void TBasicNeuron::CopyState(const TBasicNeuron*) {}

void TBasicNeuron::SetActivationFunction(ActFunction fn) {
  actFn = fn;
  if (layer != nullptr) layer->commonFn = nullptr;
}

int TGainNeuron::GetNumParameters() {
  return 1;
}

void TGainNeuron::GetParameters(double* values) {
  values[0] = gain;
}

void TGainNeuron::SetParameters(const double* values) {
  gain = values[0];
}

const char* TGainNeuron::GetParameterName(int i) {
  NF_ASSERT(i==0);
  return "Gain";
}

void TGainNeuron::CopyState(const TBasicNeuron*) {}
