#include "NeuralNets/ActFunctions.h"

#include <cstring>
#include <memory>

#include "Common/Assert.h"
#include "Common/PortableMath.h"
#include "Common/StrCase.h"
#include "NeuralNets/ActivationArrays.h"
#include "NeuralNets/TBasicNeuron.h"

namespace {

// The gain functions need the neuron's gain; handing one of them to a neuron
// without a gain is a programming error that must not read past the object.
const TGainNeuron* AsGainNeuron(const TBasicNeuron* neuron) {
  const TGainNeuron* gainNeuron = dynamic_cast<const TGainNeuron*>(neuron);
  NF_ASSERT(gainNeuron != NULL);
  return gainNeuron;
}

// The built-in functions' formulas, shared by the functions and by
// ActivateValues, so that both give the same bits (the sigmoids' are in
// ActivationArrays.h, beside their array forms, as are tanh's).
double SaturatedLinearOf(double net) {
  if (net >= 1.0) return 1.0;
  if (net <= 0.0) return 0.0;
  return net;
}

// values[i] = formula(values[i]) for i in [0, n).
template <class Formula>
void ApplyInPlace(double* values, int n, Formula formula) {
  for (int i = 0; i < n; ++i) values[i] = formula(values[i]);
}

}  // namespace

// The exponentials below are the library's own (Common/PortableMath.h), not
// the C library's, whose last bit depends on the processor: recalled outputs
// and trained networks are the same on every x86-64 machine.

void ErrorFunction(TBasicNeuron*, double) {
  NF_ASSERT(false);
}

void NullFunction(TBasicNeuron*, double) {
  NF_ASSERT(false);
}

void BiasFunction(TBasicNeuron* neuron, double) {
  *neuron->output = 1.0;
}

void LinearFunction(TBasicNeuron* neuron, double net) {
  *neuron->output = net;
}

void SaturatedLinearFunction(TBasicNeuron* neuron, double net) {
  *neuron->output = SaturatedLinearOf(net);
}

void SigmoidFunction(TBasicNeuron* neuron, double net) {
  *neuron->output = SigmoidOf(net);
}

void TanhFunction(TBasicNeuron* neuron, double net) {
  *neuron->output = Netforge::Tanh(net);
}

void LinearGainFunction(TBasicNeuron* neuron, double net) {
  *neuron->output = AsGainNeuron(neuron)->gain * net;
}

void SigmoidGainFunction(TBasicNeuron* neuron, double net) {
  *neuron->output = SigmoidGainOf(AsGainNeuron(neuron)->gain, net);
}

void TanhGainFunction(TBasicNeuron* neuron, double net) {
  *neuron->output = Netforge::Tanh(AsGainNeuron(neuron)->gain * net);
}

void ActivateValues(ActFunction fn, TBasicNeuron* neuron, double* values, int n) {
  if (n <= 0) return;
  if (fn == BiasFunction) {
    ApplyInPlace(values, n, [](double) { return 1.0; });
  } else if (fn == LinearFunction) {
    return;
  } else if (fn == SaturatedLinearFunction) {
    ApplyInPlace(values, n, SaturatedLinearOf);
  } else if (fn == SigmoidFunction) {
    SigmoidValues(values, values, n);
  } else if (fn == TanhFunction) {
    TanhValues(values, values, n);
  } else if (fn == LinearGainFunction) {
    const double gain = AsGainNeuron(neuron)->gain;
    ApplyInPlace(values, n, [gain](double net) { return gain * net; });
  } else if (fn == SigmoidGainFunction) {
    SigmoidGainValues(AsGainNeuron(neuron)->gain, values, values, n);
  } else if (fn == TanhGainFunction) {
    TanhGainValues(AsGainNeuron(neuron)->gain, values, values, n);
  } else {
    for (int i = 0; i < n; ++i) {
      fn(neuron, values[i]);
      values[i] = *neuron->output;
    }
  }
}

TFnRegistry::TFnRegistry() : entries(new Entry[16]), capacity(16), count(0) {}

TFnRegistry::~TFnRegistry() {
  for (int i = 0; i < count; ++i) delete[] entries[i].name;
  delete[] entries;
}

void TFnRegistry::RegisterDefaults() {
  RegisterFunction(ErrorFunction, "error");
  RegisterFunction(NullFunction, "null");
  RegisterFunction(BiasFunction, "bias");
  RegisterFunction(LinearFunction, "linear");
  RegisterFunction(SaturatedLinearFunction, "saturated-linear");
  RegisterFunction(SigmoidFunction, "sigmoid");
  RegisterFunction(TanhFunction, "tanh");
  RegisterFunction(LinearGainFunction, "linear-gain");
  RegisterFunction(SigmoidGainFunction, "sigmoid-gain");
  RegisterFunction(TanhGainFunction, "tanh-gain");
}

void TFnRegistry::RegisterFunction(ActFunction fn, const char* p) {
  using Netforge::strcasecmp;
  NF_ASSERT(p != NULL);
  for (const Entry* pp = entries + count - 1; pp >= entries; --pp) {
    NF_ASSERT(strcasecmp(p,pp->name)!=0);
  }
  Append(p, fn);
}

ActFunction TFnRegistry::GetFunction(const char* name) const {
  const Entry* entry = Find(name);
  NF_ASSERT(entry != NULL);
  return entry->fn;
}

bool TFnRegistry::HasFunction(const char* name) const {
  return Find(name) != nullptr;
}

const char* TFnRegistry::GetFunctionName(ActFunction fn) const {
  const Entry* entry = nullptr;
  for (int i = count - 1; i >= 0 && entry == nullptr; --i) {
    if (entries[i].fn == fn) entry = &entries[i];
  }
  NF_ASSERT(entry != NULL);
  return entry->name;
}

ActFunction& TFnRegistry::FunctionSlot(const char* name) {
  Entry* entry = Find(name);
  if (entry == nullptr) {
    Append(name, nullptr);
    entry = &entries[count - 1];
  }
  return entry->fn;
}

TFnRegistry::Entry* TFnRegistry::Find(const char* name) const {
  if (name == nullptr) return nullptr;
  for (int i = count - 1; i >= 0; --i) {
    if (Netforge::strcasecmp(name, entries[i].name) == 0) return &entries[i];
  }
  return nullptr;
}

// Copies the name first and grows the array second, so that a failed
// allocation leaves the registry as it was.
void TFnRegistry::Append(const char* name, ActFunction fn) {
  const std::size_t length = std::strlen(name);
  std::unique_ptr<char[]> copy(new char[length + 1]);
  std::memcpy(copy.get(), name, length + 1);
  if (count == capacity) {
    Entry* grown = new Entry[static_cast<std::size_t>(capacity) * 2];
    for (int i = 0; i < count; ++i) grown[i] = entries[i];
    delete[] entries;
    entries = grown;
    capacity *= 2;
  }
  entries[count].name = copy.release();
  entries[count].fn = fn;
  ++count;
}
