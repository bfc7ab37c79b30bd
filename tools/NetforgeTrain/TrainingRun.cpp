#include "TrainingRun.h"

#include <filesystem>
#include <iostream>
#include <memory>
#include <ostream>
#include <streambuf>
#include <system_error>
#include <vector>

#include <unistd.h>

#include "Common/NumberText.h"
#include "DataObject/Data.h"
#include "FileHandler/Filer.h"
#include "FileHandler/ParseTools.h"
#include "KQmessage/TException.h"
#include "NeuralNets/TBasicNetwork.h"
#include "TrainingHistory.h"
#include "ToolSupport/ReplacedFile.h"
#include "Training/TTrainer.h"

namespace {

RunFailure FailureIn(const std::string& file, std::string message) { return RunFailure{file, 0, 0, std::move(message)}; }

std::unique_ptr<TBasicNetwork> LoadNetworkFile(const std::string& file) {
  try {
    // (The reader's one diagnostic word goes to standard output, which this
    // tool leaves to it.)
    FileTools tools;
    return std::unique_ptr<TBasicNetwork>(tools.LoadNetwork(file.c_str(), nullptr));
  } catch (const FileTools::Error& error) {
    if (error.line == 0 && error.message == "Error on File Open") throw FailureIn(file, "cannot open the file");
    throw RunFailure{file, error.line, error.column, error.message};
  }
}

// A stream buffer that takes every byte and keeps none.
class DiscardingBuffer : public std::streambuf {
 protected:
  int_type overflow(int_type c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

// Some networks load but cannot be written (a bias layer of several
// neurons): writing the network once into nothing finds them before any
// training time is spent on them.
void CheckWritable(const std::string& file, TBasicNetwork& network) {
  DiscardingBuffer discard;
  std::ostream out(&discard);
  try {
    FileTools tools;
    tools.WriteNetwork(out, &network, nullptr);
  } catch (const FileTools::Error& error) {
    throw FailureIn(file, "the network could not be written back after training: " + error.message);
  }
}

std::string StatusMessage(int status) {
  switch (status) {
    case FILE_OPEN_FAILED:
      return "cannot open the file";
    case FORMAT_ERROR:
      return "unacceptable data set header, or a second data set in the file";
    default: {
      std::string message = "cannot read the data set (status ";
      Netforge::AppendLong(message, status);
      return message + ")";
    }
  }
}

std::unique_ptr<Data> LoadDataSet(const std::string& file) {
  Data* data = nullptr;
  int status = 0;
  try {
    FileTools tools;
    status = tools.ReadDataSet(file.c_str(), &data);
  } catch (const FileTools::Error& error) {
    throw RunFailure{file, error.line, error.column, error.message};
  }
  std::unique_ptr<Data> owned(data);
  if (status != SUCCESS) throw FailureIn(file, StatusMessage(status));
  if (!owned) throw FailureIn(file, "the file holds no data set");
  return owned;
}

bool SameFile(const std::string& a, const std::string& b) {
  if (a == b) return true;
  std::error_code ignored;
  return std::filesystem::equivalent(a, b, ignored);
}

// Refuses a run that would overwrite a data set, write two results to one
// file or put a history or plot over the network. OUTPUT may name NETWORK:
// the network is read before anything is written, and the rename replaces
// it whole.
void CheckDistinctFiles(const TrainSettings& s) {
  struct Named {
    const std::string& file;
    const char* what;
  };
  const std::vector<Named> outputs = {{s.output, "OUTPUT"}, {s.history, "--history"}, {s.plot, "--plot"}};
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    const Named& out = outputs[i];
    if (out.file.empty()) continue;
    std::vector<Named> inputs = {{s.trainingSet, "TRAINSET"}, {s.validationSet, "--validation"}};
    if (i > 0) inputs.push_back({s.network, "NETWORK"});
    for (std::size_t j = i + 1; j < outputs.size(); ++j) inputs.push_back(outputs[j]);
    for (const Named& other : inputs) {
      if (!other.file.empty() && SameFile(out.file, other.file)) {
        throw FailureIn(out.file, std::string(out.what) + " names the same file as " + other.what);
      }
    }
  }
}

// Progress on standard error: one line every |every| epochs, or on a
// terminal one line kept up to date.
class Progress {
 public:
  Progress(int every, int epochs) : every_(every), epochs_(epochs), terminal_(isatty(STDERR_FILENO) == 1) {}

  void Epoch(const TEpochReport& r) {
    if (every_ <= 0 || (r.epoch % every_ != 0 && r.epoch != 1)) return;
    std::string line = "epoch ";
    Netforge::AppendLong(line, r.epoch);
    line += '/';
    Netforge::AppendLong(line, epochs_);
    line += "  training ";
    Netforge::AppendGeneral(line, r.trainingError, 8);
    if (r.hasValidation) {
      line += "  validation ";
      Netforge::AppendGeneral(line, r.validationError, 8);
    }
    line += "  ";
    Netforge::AppendFixed(line, r.seconds, 2);
    line += " s";
    if (terminal_) {
      std::cerr << '\r' << line << "\x1b[K" << std::flush;
      shown_ = true;
    } else {
      std::cerr << line << '\n';
    }
  }

  void Finish() {
    if (shown_) std::cerr << '\n';
    shown_ = false;
  }

 private:
  int every_;
  int epochs_;
  bool terminal_;
  bool shown_ = false;
};

const char* StopText(TStopReason reason) {
  switch (reason) {
    case TStopReason::Epochs: return "epoch limit reached";
    case TStopReason::TargetError: return "target error reached";
    case TStopReason::Patience: return "no better validation error within the patience";
    case TStopReason::Callback: return "stopped";
    case TStopReason::Interrupted: return "interrupted";
    case TStopReason::Diverged: return "diverged";
  }
  return "";
}

std::string Summary(const TTrainingResult& r) {
  std::string text = "trained ";
  Netforge::AppendLong(text, r.epochs);
  text += r.epochs == 1 ? " epoch in " : " epochs in ";
  Netforge::AppendFixed(text, r.seconds, 2);
  text += " s (";
  text += StopText(r.stop);
  text += ")\nbest epoch ";
  Netforge::AppendLong(text, r.bestEpoch);
  text += r.hasValidation ? ": validation error " : ": training error ";
  Netforge::AppendGeneral(text, r.bestError, 8);
  text += "\nfinal network: training error ";
  Netforge::AppendGeneral(text, r.trainingError, 8);
  if (r.hasValidation) {
    text += ", validation error ";
    Netforge::AppendGeneral(text, r.validationError, 8);
  }
  text += "\npruned ";
  Netforge::AppendLong(text, r.connectionsPruned);
  text += " connections and ";
  Netforge::AppendLong(text, r.neuronsPruned);
  text += " neurons\n";
  return text;
}

// The library's refusals name "the training set" or "the validation set";
// the tool names the file.
std::string RefusedFile(const TrainSettings& s, const TException& e) {
  const std::string kind = e.kind != nullptr ? e.kind : "";
  if (kind == "Untrainable Network") return s.network;
  const std::string message = e.message != nullptr ? e.message : "";
  if (kind == "Bad Data Set") return message.rfind("the validation set", 0) == 0 ? s.validationSet : s.trainingSet;
  return "";
}

// The place of a result file: a temporary file beside it, made before any
// work so that a folder that cannot be written to is found before the
// training and not after. Throws FileFailure when none can be made.
std::unique_ptr<ReplacedFile> ResultFile(const std::string& name) {
  auto file = std::make_unique<ReplacedFile>(name);
  if (file->Error()) throw FileFailure{name, "cannot create a file beside it: " + file->Error().message()};
  return file;
}

void WriteResult(const ReplacedFile& file, const std::string& name, const std::string& text) {
  if (!file.Write(text)) throw FileFailure{name, "cannot write the file"};
}

void CommitResult(ReplacedFile& file, const std::string& name) {
  if (!file.Commit()) {
    throw FileFailure{name, "cannot rename the temporary file into place: " + file.Error().message()};
  }
}

}  // namespace

std::string RunFailure::Text() const {
  if (file.empty()) return "NetforgeTrain: " + message;
  std::string text = file;
  if (line > 0) {
    text += ':';
    Netforge::AppendLong(text, static_cast<long>(line));
    text += ':';
    Netforge::AppendLong(text, static_cast<long>(column));
  }
  return text + ": " + message;
}

int RunTraining(const TrainSettings& settings, TTrainer& trainer) {
  CheckDistinctFiles(settings);
  // The places of the results, taken before any work, so that a folder
  // that cannot be written to is found before the training and not after.
  const std::unique_ptr<ReplacedFile> output = ResultFile(settings.output);
  std::unique_ptr<ReplacedFile> historyFile, plotFile;
  if (!settings.history.empty()) historyFile = ResultFile(settings.history);
  if (!settings.plot.empty()) plotFile = ResultFile(settings.plot);
  std::unique_ptr<TBasicNetwork> network = LoadNetworkFile(settings.network);
  CheckWritable(settings.network, *network);
  const std::unique_ptr<Data> training = LoadDataSet(settings.trainingSet);
  std::unique_ptr<Data> validation;
  if (!settings.validationSet.empty()) validation = LoadDataSet(settings.validationSet);

  TrainingHistory history;
  Progress progress(settings.report, settings.options.epochs);
  TTrainingResult result;
  try {
    result = trainer.Train(*network, *training, validation.get(), [&](const TEpochReport& report) {
      history.Add(report);
      progress.Epoch(report);
      return true;
    });
  } catch (const TException& e) {
    progress.Finish();
    throw FailureIn(RefusedFile(settings, e), e.message != nullptr ? e.message : "refused");
  }
  progress.Finish();
  if (result.stop == TStopReason::Diverged) {
    std::string message = "training diverged in epoch ";
    Netforge::AppendLong(message, result.epochs);
    throw FailureIn("", message + " (the training error is not finite); a smaller learning rate may help. Nothing written.");
  }

  try {
    FileTools tools;
    tools.SaveNetwork(output->WritePath().c_str(), network.get(), nullptr);
  } catch (const FileTools::Error& error) {
    throw FailureIn(settings.output, error.message);
  }
  if (historyFile) WriteResult(*historyFile, settings.history, history.Csv());
  if (plotFile) WriteResult(*plotFile, settings.plot, history.Svg(result.bestEpoch, "Training of " + settings.network));
  // Everything is written before anything is renamed into place.
  CommitResult(*output, settings.output);
  if (historyFile) CommitResult(*historyFile, settings.history);
  if (plotFile) CommitResult(*plotFile, settings.plot);
  std::cerr << Summary(result) << std::flush;
  return result.stop == TStopReason::Interrupted ? 130 : 0;
}
