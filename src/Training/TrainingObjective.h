// The training error E as a whole: the data term of TNetworkGradient plus
// the weight penalty, and its gradient over a whole data set.
//
// E adds the penalty where the error measures add it: to the squared sum
// (so E = 1/2 (sum of (t - y)^2 + P(w)) for SumSquared) or to the
// cross-entropy sum (E = sum of cross-entropies + P(w)). P is taken over the
// network's existing weights; its derivative reaches only the trainable
// ones (never the gains).
#ifndef NETFORGE_TRAINING_TRAININGOBJECTIVE_H
#define NETFORGE_TRAINING_TRAININGOBJECTIVE_H

#include "Training/TNetworkGradient.h"
#include "Training/TPenaltyTerm.h"

class TTrainingSet;

// The factor of the penalty in E: 1/2 for SumSquared, 1 for CrossEntropy.
double PenaltyScale(TTrainingError error);

// Adds |share| times the penalty's derivative at every trainable weight of
// |layout| to |gradient|.
void AddPenaltyGradient(const TParameterLayout& layout, const TPenaltyTerm& penalty, double share, double* gradient);

// Adds the gradient of E over all rows of |set| to |gradient| (the model's
// Layout().size values): each row's term in row order, then the whole
// penalty. The network is left with the last row's outputs.
void AddSetGradient(TNetworkGradient& model, const TTrainingSet& set, TTrainingError error,
                    const TPenaltyTerm& penalty, double* gradient);

#endif  // NETFORGE_TRAINING_TRAININGOBJECTIVE_H
