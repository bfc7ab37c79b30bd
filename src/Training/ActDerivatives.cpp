#include "Training/ActDerivatives.h"
#include "Training/SlopeArrays.h"

#include "Common/Assert.h"
#include "NeuralNets/TBasicNeuron.h"

namespace {

// The gain forms are only ever given to gain neurons (the network checks
// that before training), so the cast is safe here.
double GainOf(const TBasicNeuron* neuron) { return static_cast<const TGainNeuron*>(neuron)->gain; }

double ConstantSlope(const TBasicNeuron*, double, double) { return 0.0; }
double LinearSlope(const TBasicNeuron*, double, double) { return 1.0; }
double SaturatedLinearSlope(const TBasicNeuron*, double net, double) { return net > 0.0 && net < 1.0 ? 1.0 : 0.0; }
double SigmoidSlope(const TBasicNeuron*, double, double y) { return y * (1.0 - y); }
double TanhSlope(const TBasicNeuron*, double, double y) { return 1.0 - y * y; }

double LinearGainSlope(const TBasicNeuron* neuron, double, double) { return GainOf(neuron); }
double LinearGainByGain(const TBasicNeuron*, double net, double) { return net; }
double SigmoidGainSlope(const TBasicNeuron* neuron, double, double y) { return GainOf(neuron) * (y * (1.0 - y)); }
double SigmoidGainByGain(const TBasicNeuron*, double net, double y) { return net * (y * (1.0 - y)); }
double TanhGainSlope(const TBasicNeuron* neuron, double, double y) { return GainOf(neuron) * (1.0 - y * y); }
double TanhGainByGain(const TBasicNeuron*, double net, double y) { return net * (1.0 - y * y); }

}  // namespace

TDerivativeTable::TDerivativeTable() {
  Register(BiasFunction, ConstantSlope);
  Register(LinearFunction, LinearSlope);
  Register(SaturatedLinearFunction, SaturatedLinearSlope);
  Register(SigmoidFunction, SigmoidSlope);
  Register(TanhFunction, TanhSlope);
  Register(LinearGainFunction, LinearGainSlope, LinearGainByGain);
  Register(SigmoidGainFunction, SigmoidGainSlope, SigmoidGainByGain);
  Register(TanhGainFunction, TanhGainSlope, TanhGainByGain);
}

void TDerivativeTable::Register(ActFunction fn, ActDerivative byNet, ActDerivative byGain) {
  NF_ASSERT(fn != nullptr);
  NF_ASSERT(byNet != nullptr);
  for (Entry& entry : entries_) {
    if (entry.fn == fn) {
      entry.byNet = byNet;
      entry.byGain = byGain;
      return;
    }
  }
  entries_.push_back(Entry{fn, byNet, byGain});
}

namespace {

// The loops of MultiplyBySlopes, inlined into a plain and an AVX2 copy: the
// compiler vectorises them with the copy's registers (element by element,
// the same bits in both).
__attribute__((always_inline)) inline void SlopeLoops(const TDerivativeTable::Entry& entry,
                                                      const TBasicNeuron* neuron, const double* e,
                                                      const double* net, const double* y, int n, double* d) {
  // Each loop writes out the body of the function it stands for.
  const ActDerivative byNet = entry.byNet;
  if (byNet == SigmoidSlope) {
    for (int i = 0; i < n; ++i) d[i] = e[i] * (y[i] * (1.0 - y[i]));
  } else if (byNet == SigmoidGainSlope) {
    const double gain = GainOf(neuron);
    for (int i = 0; i < n; ++i) d[i] = e[i] * (gain * (y[i] * (1.0 - y[i])));
  } else if (byNet == TanhSlope) {
    for (int i = 0; i < n; ++i) d[i] = e[i] * (1.0 - y[i] * y[i]);
  } else if (byNet == TanhGainSlope) {
    const double gain = GainOf(neuron);
    for (int i = 0; i < n; ++i) d[i] = e[i] * (gain * (1.0 - y[i] * y[i]));
  } else if (byNet == LinearSlope) {
    for (int i = 0; i < n; ++i) d[i] = e[i] * 1.0;
  } else {
    for (int i = 0; i < n; ++i) d[i] = e[i] * byNet(neuron, net[i], y[i]);
  }
}

void SlopeLoopsPlain(const TDerivativeTable::Entry& entry, const TBasicNeuron* neuron, const double* e,
                     const double* net, const double* y, int n, double* d) {
  SlopeLoops(entry, neuron, e, net, y, n, d);
}

#if defined(__SSE2__) && (defined(__GNUC__) || defined(__clang__))
__attribute__((target("avx2"))) void SlopeLoopsAvx2(const TDerivativeTable::Entry& entry, const TBasicNeuron* neuron,
                                                    const double* e, const double* net, const double* y, int n,
                                                    double* d) {
  SlopeLoops(entry, neuron, e, net, y, n, d);
}
#endif

}  // namespace

void MultiplyBySlopes(Netforge::SimdIsa isa, const TDerivativeTable::Entry& entry, const TBasicNeuron* neuron,
                      const double* e, const double* net, const double* y, int n, double* d) {
  NF_ASSERT(Netforge::SimdSupported(isa));
#if defined(__SSE2__) && (defined(__GNUC__) || defined(__clang__))
  if (isa == Netforge::SimdIsa::kAvx2 || isa == Netforge::SimdIsa::kAvx512) {
    SlopeLoopsAvx2(entry, neuron, e, net, y, n, d);
    return;
  }
#endif
  SlopeLoopsPlain(entry, neuron, e, net, y, n, d);
}

void MultiplyBySlopes(const TDerivativeTable::Entry& entry, const TBasicNeuron* neuron, const double* e,
                      const double* net, const double* y, int n, double* d) {
  MultiplyBySlopes(Netforge::BestSimdIsa(), entry, neuron, e, net, y, n, d);
}

bool SlopeIgnoresNeuron(const TDerivativeTable::Entry& entry) {
  const ActDerivative byNet = entry.byNet;
  return byNet == ConstantSlope || byNet == LinearSlope || byNet == SaturatedLinearSlope || byNet == SigmoidSlope ||
         byNet == TanhSlope;
}

const TDerivativeTable::Entry* TDerivativeTable::Find(ActFunction fn) const {
  for (const Entry& entry : entries_) {
    if (entry.fn == fn) return &entry;
  }
  return nullptr;
}
