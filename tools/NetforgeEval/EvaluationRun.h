// The evaluation run of NetforgeEval: runs every row of a data set file
// through a network file's network and measures the outputs against the
// expected outputs, optionally writing the outputs and their errors to a
// result file.
//
// The data set file is read in runs of rows (at most 4096, fewer for wide
// rows) and the result file is written run by run, so memory does not grow
// with the number of rows. The run owns everything it creates and releases it
// before it returns.
#ifndef NETFORGE_EVALTOOL_EVALUATIONRUN_H
#define NETFORGE_EVALTOOL_EVALUATIONRUN_H

#include <string>

struct EvaluationSettings {
  std::string network;  // network file
  std::string dataSet;  // data set file; its first data set is evaluated
  std::string result;   // result file to write; empty for none
};

struct EvaluationSummary {
  long long rows = 0;         // rows run through the network
  bool hasFigures = false;    // whether the rows had expected outputs to measure
  bool labelled = false;      // whether the rows had label lists instead
  double rmse = 0.0;          // root-mean-square error (TErrorRMSObj)
  double crossEntropy = 0.0;  // cross-entropy error (TErrorCrossEntropyObj)
};

// Evaluates as described above. Rows with label lists, or without expected
// outputs, are run and written but not measured (hasFigures false).
//
// With a result file, that file holds the data set's first data set as it
// was and a second data set of the same rows: the network's outputs as its
// inputs and, for measured rows, the errors (expected minus generated output)
// as its outputs. The result file is written beside it under a temporary
// name and renamed into place when complete, so a run that fails leaves an
// earlier result file as it was (ToolSupport/ReplacedFile.h).
//
// Every failure it can describe (files that cannot be opened, read or
// written, syntax errors with their places, counts that do not fit the
// network) is thrown as EvaluationFailure; std::bad_alloc, std::length_error
// and TException from the library pass through unchanged.
EvaluationSummary RunEvaluation(const EvaluationSettings& settings);

#endif  // NETFORGE_EVALTOOL_EVALUATIONRUN_H
