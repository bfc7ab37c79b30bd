#include "EvaluationRun.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "Common/NumberText.h"
#include "DataObject/Data.h"
#include "EvaluationFailure.h"
#include "FileHandler/DataSetRowReader.h"
#include "FileHandler/Filer.h"
#include "FileHandler/ParseTools.h"
#include "NeuralNets/TBasicNetwork.h"
#include "NeuralNets/TErrorObj.h"
#include "ProgressLine.h"
#include "ToolSupport/ReplacedFile.h"

namespace {

// A run of rows holds at most this many rows and, for wide rows, at most
// about this many values in each of its data sets (8 MiB of doubles).
constexpr long kRowsPerRun = 4096;
constexpr long kValuesPerRun = 1L << 20;

// A stream buffer that cannot read (a folder opened as a file, a device
// error) throws std::ios_base::failure from inside the tokenizer.
constexpr const char* kReadFailed = "cannot read the file";

// The message for a status code of the data set file operations.
std::string StatusMessage(int status) {
  switch (status) {
    case FILE_OPEN_FAILED:
      return "cannot open the file";
    case FORMAT_ERROR:
      return "unacceptable data set header (an unknown, repeated or misplaced count, "
             "a bracket with more than one count, or a negative count)";
    case INVALID_DATA_SET:
      return "the data sets to write differ in their rows";
    case FILE_WRITE_FAILED:
      return "cannot write the file";
    default: {
      std::string message = "unexpected status ";
      Netforge::AppendLong(message, status);
      return message;
    }
  }
}

EvaluationFailure FailureIn(const std::string& file, std::string message) {
  return EvaluationFailure{file, 0, 0, std::move(message)};
}

EvaluationFailure FailureAt(const std::string& file, const FileTools::Error& error) {
  if (error.line <= 0) return FailureIn(file, error.message);
  return EvaluationFailure{file, error.line, error.column, error.message};
}


std::unique_ptr<TBasicNetwork> LoadNetworkFile(const std::string& file) {
  try {
    FileTools tools;
    return std::unique_ptr<TBasicNetwork>(tools.LoadNetwork(file.c_str(), nullptr));
  } catch (const FileTools::Error& error) {
    if (error.line == 0 && error.message == "Error on File Open") throw FailureIn(file, "cannot open the file");
    throw FailureAt(file, error);
  }
}

// The registry's "error" and "null" functions stand for "no function" and
// stop the program when a neuron fires with them. A network file may still
// give them to neurons, so such a network is refused before any recall.
void CheckRecallable(const std::string& file, TBasicNetwork& network) {
  const ActFunction error = network.fnRegistry->GetFunction("error");
  const ActFunction null = network.fnRegistry->GetFunction("null");
  for (int k = 0; k < network.numLayers; ++k) {
    TBasicLayer* layer = network.layers[static_cast<std::size_t>(k)];
    for (int n = 0; n < layer->numNeurons; ++n) {
      const ActFunction fn = layer->GetNeuron(n)->GetActivationFunction();
      if (fn == error || fn == null) {
        std::string message = "neuron ";
        Netforge::AppendLong(message, n);
        message += " of layer ";
        Netforge::AppendLong(message, k);
        message += " has the activation function \"";
        message += network.fnRegistry->GetFunctionName(fn);
        message += "\", which cannot be recalled";
        throw FailureIn(file, message);
      }
    }
  }
}

// Runs |read| on the data set file's reader and turns its errors into
// EvaluationFailure: syntax and content errors with their places.
template <typename Read>
auto ReadingDataSet(const std::string& file, Read&& read) {
  try {
    return read();
  } catch (const FileTools::Error& error) {
    throw FailureAt(file, error);
  } catch (const std::ios_base::failure&) {
    throw FailureIn(file, kReadFailed);
  }
}

// Opens the data set file and reads its header up to its [Data] tag.
std::unique_ptr<DataSetRowReader> OpenDataSet(const std::string& file) {
  auto reader = std::make_unique<DataSetRowReader>();
  const int status = ReadingDataSet(file, [&] { return reader->Open(file.c_str()); });
  if (status == FORMAT_ERROR && reader->MissingRows()) {
    throw FailureIn(file, "the data set header gives no \"Rows\"");
  }
  if (status != SUCCESS) throw FailureIn(file, StatusMessage(status));
  return reader;
}

// Refuses data sets the network cannot take, or that are too long to count.
void CheckFits(const std::string& file, const DataSetRowReader& data, long nIn, long nOut) {
  if (!data.HasFirst()) {
    throw FailureIn(file, "the file holds no first data set (no inputs and no expected outputs)");
  }
  if (data.Inputs() != nIn) {
    throw FailureIn(file, "the data set has " + Netforge::CountText(data.Inputs(), "input") +
                              " per row, but the network's input layer has " + Netforge::CountText(nIn, "neuron"));
  }
  if (data.ExpectedOutputs() != 0 && data.ExpectedOutputs() != nOut) {
    throw FailureIn(file, "the data set has " + Netforge::CountText(data.ExpectedOutputs(), "expected output") +
                              " per row, but the network's output layer has " + Netforge::CountText(nOut, "neuron"));
  }
  // The error measures count their patterns in an int. (The header reader
  // takes counts as 32-bit integers today; this keeps the measures sound
  // should it take more.)
  if (data.Rows() > INT_MAX) {
    throw FailureIn(file, "more than 2147483647 rows; split the data set");
  }
}

void CheckStatus(const std::string& file, int status) {
  if (status != SUCCESS) throw FailureIn(file, StatusMessage(status));
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code ignored;
  return std::filesystem::equivalent(a, b, ignored);
}

// The counts of the first data set, as its header gives them.
struct DataSetShape {
  long rows = 0;
  long inputs = 0;
  long expected = 0;  // expected outputs per row; 0 with labels
  bool labels = false;
};

DataSetShape ShapeOf(const DataSetRowReader& data) {
  return DataSetShape{data.Rows(), data.Inputs(), data.ExpectedOutputs(), data.FirstLabels()};
}

// Runs the rows of a data set file through a network, run by run.
class Evaluation {
 public:
  // The result file, named settings.result in messages, is written at
  // |resultPath|.
  Evaluation(const EvaluationSettings& settings, const std::string& resultPath, TBasicNetwork& network,
             DataSetRowReader& data)
      : settings_(settings),
        resultPath_(resultPath),
        network_(network),
        data_(data),
        shape_(ShapeOf(data)),
        nOut_(network.layers[static_cast<std::size_t>(network.outLayer)]->numNeurons),
        measured_(shape_.expected != 0),
        rms_(nOut_),
        crossEntropy_(nOut_),
        targets_(static_cast<std::size_t>(nOut_)),
        errors_(static_cast<std::size_t>(nOut_)) {}

  EvaluationSummary Run() {
    if (!settings_.result.empty()) {
      CheckStatus(settings_.result, FileTools().WriteDataSetHeader(resultPath_.c_str(), shape_.inputs,
                                                                   shape_.labels ? -1 : shape_.expected, nOut_,
                                                                   measured_ ? nOut_ : 0, shape_.rows));
      resultBegun_ = true;
    }
    ProgressLine progress;
    const long perRun = RowsPerRun();
    // At least one run, even of no rows: the run that reads the last row
    // also checks the end of the file.
    long done = 0;
    do {
      done += RunRows(perRun);
      progress.Update(done, shape_.rows);
    } while (done < shape_.rows);
    progress.Finish();
    if (!settings_.result.empty()) CheckStatus(settings_.result, FileTools().WriteDataSetEnd(resultPath_.c_str()));

    EvaluationSummary summary;
    summary.rows = shape_.rows;
    summary.hasFigures = measured_;
    summary.labelled = shape_.labels;
    if (measured_) {
      summary.rmse = rms_.GetError();
      summary.crossEntropy = crossEntropy_.GetError();
    }
    return summary;
  }

  // Whether Run created the result file (and so may remove it).
  bool ResultBegun() const { return resultBegun_; }

 private:
  long RowsPerRun() const {
    const long width = std::max({shape_.inputs + shape_.expected, 2 * nOut_, 1L});
    return std::clamp(kValuesPerRun / width, 1L, kRowsPerRun);
  }

  // Reads the next run of at most |perRun| rows, runs them through the
  // network and appends them with their outputs to the result file. Returns
  // the number of rows.
  long RunRows(long perRun) {
    std::unique_ptr<Data> first = ReadRows(perRun);
    const long rows = first->MbrNdxRows;
    std::unique_ptr<Data> second;
    if (!settings_.result.empty()) second = std::make_unique<Data>(rows, nOut_, measured_ ? nOut_ : 0, false);

    // The whole run through the network in one batch recall, which gives
    // each row the outputs Recall gives it, several times faster.
    const std::size_t nIn = static_cast<std::size_t>(shape_.inputs);
    const std::size_t nOut = static_cast<std::size_t>(nOut_);
    inputs_.resize(static_cast<std::size_t>(rows) * nIn);
    outputs_.resize(static_cast<std::size_t>(rows) * nOut);
    for (long row = 0; row < rows; ++row) {
      if (nIn > 0) first->GetInputRow(row, inputs_.data() + static_cast<std::size_t>(row) * nIn);
    }
    network_.RecallBatch(inputs_.data(), outputs_.data(), static_cast<int>(rows));
    for (long row = 0; row < rows; ++row) {
      const double* outputs = outputs_.data() + static_cast<std::size_t>(row) * nOut;
      if (measured_) Measure(*first, row, outputs);
      if (second) second->AppendRow(outputs, errors_.data(), nullptr);
    }
    if (second) {
      CheckStatus(settings_.result,
                  FileTools().WriteDataSetRows(resultPath_.c_str(), first.get(), second.get(), nullptr));
    }
    return rows;
  }

  void Measure(Data& first, long row, const double* outputs) {
    first.GetOutputRow(row, targets_.data());
    rms_.AddPattern(targets_.data(), outputs);
    crossEntropy_.AddPattern(targets_.data(), outputs);
    for (std::size_t k = 0; k < targets_.size(); ++k) errors_[k] = targets_[k] - outputs[k];
  }

  // The next run of at most |perRun| rows of the first data set; the second
  // data set of the file, if any, is read past.
  std::unique_ptr<Data> ReadRows(long perRun) {
    Data* first = nullptr;
    try {
      ReadingDataSet(settings_.dataSet, [&] { return data_.ReadRows(perRun, &first, nullptr); });
    } catch (...) {
      delete first;
      throw;
    }
    return std::unique_ptr<Data>(first);
  }

  const EvaluationSettings& settings_;
  const std::string& resultPath_;
  TBasicNetwork& network_;
  DataSetRowReader& data_;
  const DataSetShape shape_;
  const long nOut_;
  const bool measured_;  // the rows have expected outputs
  bool resultBegun_ = false;
  TErrorRMSObj rms_;
  TErrorCrossEntropyObj crossEntropy_;
  std::vector<double> inputs_, outputs_;  // one run of rows, row by row
  std::vector<double> targets_, errors_;  // one row
};

}  // namespace

EvaluationSummary RunEvaluation(const EvaluationSettings& settings) {
  if (!settings.result.empty() &&
      (SameFile(settings.result, settings.dataSet) || SameFile(settings.result, settings.network))) {
    throw FailureIn(settings.result, "the result file must differ from the network and data set files");
  }
  std::unique_ptr<TBasicNetwork> network = LoadNetworkFile(settings.network);
  CheckRecallable(settings.network, *network);
  const std::unique_ptr<DataSetRowReader> data = OpenDataSet(settings.dataSet);
  const long nIn = network->layers[static_cast<std::size_t>(network->inLayer)]->numNeurons;
  const long nOut = network->layers[static_cast<std::size_t>(network->outLayer)]->numNeurons;
  CheckFits(settings.dataSet, *data, nIn, nOut);

  // Written beside the result file and renamed into place only when
  // complete, so a failed run leaves an earlier result file as it was.
  ReplacedFile result(settings.result);
  Evaluation evaluation(settings, result.WritePath(), *network, *data);
  try {
    EvaluationSummary summary = evaluation.Run();
    if (!result.Commit()) throw FailureIn(settings.result, StatusMessage(FILE_WRITE_FAILED));
    return summary;
  } catch (...) {
    // A half-written result file would read as a broken data set; where it
    // was written in place, it goes.
    if (evaluation.ResultBegun() && result.WritePath() == settings.result) {
      std::error_code ignored;
      std::filesystem::remove(settings.result, ignored);
    }
    throw;
  }
}
