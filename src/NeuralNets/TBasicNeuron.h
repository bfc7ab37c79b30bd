// Neurons: the units of a layer.
//
// A neuron turns its net input into an output through its activation
// function. Neurons live by value in their layer's neuron array: the layer
// creates, copies and destroys them and fills in |layerNum|, |index|,
// |output| (which points into the layer's output array) and |layer|. A neuron
// owns nothing. TBasicNeuron has no parameters; TGainNeuron has one, its gain,
// read by the gain activation functions.
//
// Users normally include "NeuralNets/TBasicNetwork.h", which includes this.
#ifndef NETFORGE_NEURALNETS_TBASICNEURON_H
#define NETFORGE_NEURALNETS_TBASICNEURON_H

#include "NeuralNets/ActFunctions.h"

class TBasicLayer;

class TBasicNeuron {
 public:
  int layerNum = 0;             // number of the layer that holds the neuron
  int index = 0;                // position of the neuron in its layer
  double* output = nullptr;     // the neuron's entry of its layer's output array
  TBasicLayer* layer = nullptr;  // the layer that holds the neuron (not owned)
  ActFunction actFn = ErrorFunction;  // "error" until a function is chosen

  TBasicNeuron() = default;
  TBasicNeuron(const TBasicNeuron&) = default;
  TBasicNeuron& operator=(const TBasicNeuron&) = default;
  virtual ~TBasicNeuron() = default;

  // Computes the output from the net input with the neuron's own function.
  virtual void Activate(double net);
  virtual int GetNumParameters();
  // Copies the GetNumParameters() parameters to |values|.
  virtual void GetParameters(double* values);
  // Takes GetNumParameters() parameters from |values|.
  virtual void SetParameters(const double* values);
  // The name of parameter |i|; a neuron without parameters fails a check.
  virtual const char* GetParameterName(int i);
  // Hook called by the layer on a neuron copied from |from|, after the fields
  // above were copied. Adds nothing in either neuron class.
  virtual void CopyState(const TBasicNeuron* from);

  // Sets the function and clears the cached common function of the layer, so
  // that the layer works it out again.
  void SetActivationFunction(ActFunction fn);
  ActFunction GetActivationFunction() const { return actFn; }
};

class TGainNeuron : public TBasicNeuron {
 public:
  double gain = 1.0;

  int GetNumParameters() override;
  void GetParameters(double* values) override;      // values[0] = gain
  void SetParameters(const double* values) override;  // gain = values[0]
  const char* GetParameterName(int i) override;     // "Gain"; checks "i==0"
  void CopyState(const TBasicNeuron* from) override;
};

#endif  // NETFORGE_NEURALNETS_TBASICNEURON_H
