// Activation functions and the registry that knows them by name.
//
// An activation function is a plain function: it takes a neuron and its net
// input and writes the neuron's new output through the neuron's |output|
// pointer. Functions hold no state and are compared by address, so a function
// pointer is a complete description of a neuron's behaviour; the names exist
// for the network files, which store a function by its registered name.
//
// Every network owns one TFnRegistry (created with the network, destroyed with
// it) holding the ten built-in functions. The registry owns copies of the
// names it stores; the functions themselves are static code.
#ifndef NETFORGE_NEURALNETS_ACTFUNCTIONS_H
#define NETFORGE_NEURALNETS_ACTFUNCTIONS_H

class TBasicNeuron;

// Computes the neuron's output from its net input and stores it at
// *neuron->output.
typedef void (*ActFunction)(TBasicNeuron* neuron, double net);

// The built-in functions, registered under the names given beside them. The
// three gain functions read the neuron's gain and may only be given to a
// TGainNeuron (a check stops the program otherwise).
void ErrorFunction(TBasicNeuron* neuron, double net);            // "error": always fails a check
void NullFunction(TBasicNeuron* neuron, double net);             // "null": always fails a check
void BiasFunction(TBasicNeuron* neuron, double net);             // "bias": 1.0
void LinearFunction(TBasicNeuron* neuron, double net);           // "linear": x
void SaturatedLinearFunction(TBasicNeuron* neuron, double net);  // "saturated-linear": x clipped to [0, 1]
void SigmoidFunction(TBasicNeuron* neuron, double net);          // "sigmoid": 1/(1+e^-x), 1e-300 below -500
void TanhFunction(TBasicNeuron* neuron, double net);             // "tanh": tanh(x)
void LinearGainFunction(TBasicNeuron* neuron, double net);       // "linear-gain": g*x
void SigmoidGainFunction(TBasicNeuron* neuron, double net);      // "sigmoid-gain": 1/(1+e^-(g*x))
void TanhGainFunction(TBasicNeuron* neuron, double net);         // "tanh-gain": tanh(g*x)

// Replaces each of values[0 .. n) by the output |fn| gives |neuron| for that
// net input, with the bits of fn itself: the built-in functions run as one
// loop (sigmoids and tanh several values at a time in the vector unit), any
// other function is called value by value. *neuron->output may be
// overwritten. For running many rows through one neuron (batch recall).
void ActivateValues(ActFunction fn, TBasicNeuron* neuron, double* values, int n);

// Maps function names to functions and back. Names are matched ignoring
// letter case; every lookup searches from the newest entry to the oldest.
// A failed lookup is a programming error (a consistency check stops the
// program); readers of files look names up only after checking them with
// HasFunction.
class TFnRegistry {
 public:
  struct Entry {
    char* name;       // owned copy of the registered name
    ActFunction fn;   // null only in a slot that FunctionSlot opened and nobody filled
  };

  Entry* entries;  // owned array of |capacity| entries, the first |count| in use
  int capacity;    // 16 when constructed; doubles whenever a full array must grow
  int count;

  TFnRegistry();
  virtual ~TFnRegistry();
  TFnRegistry(const TFnRegistry&) = delete;
  TFnRegistry& operator=(const TFnRegistry&) = delete;

  // Registers the ten built-in functions in their documented order: "error",
  // "null", "bias", "linear", "saturated-linear", "sigmoid", "tanh",
  // "linear-gain", "sigmoid-gain", "tanh-gain".
  virtual void RegisterDefaults();

  // Appends {copy of name, fn}. The name must not be registered yet (in any
  // letter case): check "strcasecmp(p,pp->name)!=0".
  void RegisterFunction(ActFunction fn, const char* name);

  // The function registered under |name| (any letter case); an unknown name
  // fails a consistency check.
  ActFunction GetFunction(const char* name) const;

  // Whether |name| is registered (any letter case). Never fails.
  bool HasFunction(const char* name) const;

  // The registered name of |fn|; an unregistered function fails a
  // consistency check. The text belongs to the registry.
  const char* GetFunctionName(ActFunction fn) const;

  // A reference to the function slot of |name|: the existing entry's, or that
  // of a new entry {copy of name, no function} appended for the caller to fill
  // in. The reference is valid until the next entry is added.
  ActFunction& FunctionSlot(const char* name);

 private:
  Entry* Find(const char* name) const;
  void Append(const char* name, ActFunction fn);
};

#endif  // NETFORGE_NEURALNETS_ACTFUNCTIONS_H
