#include "Training/TrainingObjective.h"

#include "Training/TTrainingSet.h"

double PenaltyScale(TTrainingError error) { return error == TTrainingError::SumSquared ? 0.5 : 1.0; }

void AddPenaltyGradient(const TParameterLayout& layout, const TPenaltyTerm& penalty, double share, double* gradient) {
  if (penalty.GetKind() == TPenaltyTerm::Kind::None) return;
  for (const TParameterLayout::Block& b : layout.blocks) {
    for (std::size_t i = 0; i < b.cells; ++i) {
      if (b.flags == nullptr || (b.flags[i] & FMaskAll) == FMaskAll) {
        gradient[b.offset + i] += share * penalty.Derivative(b.weights[i]);
      }
    }
  }
}

void AddSetGradient(TNetworkGradient& model, const TTrainingSet& set, TTrainingError error,
                    const TPenaltyTerm& penalty, double* gradient) {
  for (int r = 0; r < set.Rows(); ++r) model.AddPatternGradient(set.Inputs(r), set.Targets(r), gradient);
  AddPenaltyGradient(model.Layout(), penalty, PenaltyScale(error), gradient);
}
