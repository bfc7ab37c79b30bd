// Training from Python: the TrainingOptions, EpochReport and TrainingResult
// classes and Network.train(), on the library's TTrainer.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "Bindings.h"
#include "KQmessage/KQML.h"
#include "PyDataSet.h"
#include "PyNetwork.h"
#include "Training/TTrainer.h"

namespace py = pybind11;

namespace nfpy {
namespace {

// The names Python (and the NetforgeTrain tool) give the algorithms, error
// functions and stop reasons.
template <typename Enum>
struct Named {
  Enum value;
  const char* name;
};

constexpr Named<TTrainingAlgorithm> kAlgorithms[] = {
    {TTrainingAlgorithm::Incremental, "incremental"}, {TTrainingAlgorithm::Batch, "batch"},
    {TTrainingAlgorithm::IRpropMinus, "irprop-"},     {TTrainingAlgorithm::IRpropPlus, "irprop+"},
    {TTrainingAlgorithm::Quickprop, "quickprop"},     {TTrainingAlgorithm::Adam, "adam"}};
constexpr Named<TTrainingError> kErrors[] = {{TTrainingError::SumSquared, "rms"},
                                             {TTrainingError::CrossEntropy, "cross-entropy"}};
constexpr Named<TStopReason> kStops[] = {
    {TStopReason::Epochs, "epochs"},           {TStopReason::TargetError, "target-error"},
    {TStopReason::Patience, "patience"},       {TStopReason::Callback, "callback"},
    {TStopReason::Interrupted, "interrupted"}, {TStopReason::Diverged, "diverged"}};

template <typename Enum, std::size_t N>
const char* NameOf(const Named<Enum> (&table)[N], Enum value) {
  for (const auto& entry : table) {
    if (entry.value == value) return entry.name;
  }
  return "";
}

template <typename Enum, std::size_t N>
Enum ValueOf(const Named<Enum> (&table)[N], const std::string& name, const char* what) {
  std::string known;
  for (const auto& entry : table) {
    if (name == entry.name) return entry.value;
    known += (known.empty() ? "" : ", ") + std::string(entry.name);
  }
  throw py::value_error(std::string("unknown ") + what + " \"" + name + "\" (known: " + known + ")");
}

py::object PenaltyText(const TTrainingOptions& options) {
  if (!options.penalty) return py::none();
  return py::str(TextForm(options.penalty.get()));
}

void SetPenalty(TTrainingOptions& options, std::optional<std::string> text) {
  if (!text) {
    options.penalty.reset();
    return;
  }
  const char* cursor = text->c_str();
  try {
    options.penalty = std::shared_ptr<const TKQstructure>(ParseMessage(cursor));
  } catch (const TKQstructure::Error& error) {
    delete error.structure;  // the catcher owns it
    throw py::value_error("penalty \"" + *text +
                          "\" is not a structured message such as \"(lwf :learningrate 0.1 :forgettingrate 1e-4)\"");
  }
}

// The option names that train() and TrainingOptions() take as keywords.
constexpr const char* kOptionNames[] = {"algorithm",      "error",          "epochs",          "target_error",
                                        "learning_rate",  "momentum",       "batch_size",      "shuffle",
                                        "seed",           "rprop_increase", "rprop_decrease",  "rprop_initial_step",
                                        "rprop_min_step", "rprop_max_step", "quickprop_decay", "quickprop_mu",
                                        "adam_beta1",     "adam_beta2",     "adam_epsilon",    "penalty",
                                        "train_gains",    "patience",       "prune_below"};

void Apply(py::object options, const py::kwargs& settings) {
  for (auto item : settings) {
    const auto name = item.first.cast<std::string>();
    bool known = false;
    for (const char* option : kOptionNames) known = known || name == option;
    if (!known) throw py::type_error("unknown training option \"" + name + "\"");
    options.attr(item.first) = item.second;
  }
}

TTrainingOptions MakeOptions(const py::kwargs& settings) {
  py::object options = py::cast(TTrainingOptions());
  Apply(options, settings);
  return options.cast<TTrainingOptions>();
}

// Runs the epoch callback and looks for Ctrl-C after every epoch. A Python
// exception (KeyboardInterrupt included) stops training after the epoch; it
// is kept and raised once Train has returned, the network then being the
// best one as after any stop.
class EpochHook {
 public:
  explicit EpochHook(py::object callback) : callback_(std::move(callback)) {}

  bool operator()(const TEpochReport& report) {
    py::gil_scoped_acquire gil;
    try {
      if (PyErr_CheckSignals() != 0) throw py::error_already_set();
      if (callback_.is_none()) return true;
      return !callback_(report).is(py::bool_(false));
    } catch (py::error_already_set& error) {
      pending_ = std::move(error);
      return false;
    }
  }

  // Raises the kept exception, if any.
  void RaisePending() {
    if (pending_) throw std::move(*pending_);
  }

 private:
  py::object callback_;
  std::optional<py::error_already_set> pending_;
};

// Sets |flag| for its scope.
class FlagScope {
 public:
  explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
  ~FlagScope() { flag_ = false; }
  FlagScope(const FlagScope&) = delete;
  FlagScope& operator=(const FlagScope&) = delete;

 private:
  bool& flag_;
};

TTrainingResult Train(PyNetwork& self, PyDataSet& training, PyDataSet* validation, py::object callback,
                      std::optional<TTrainingOptions> options, const py::kwargs& settings) {
  py::object chosen = py::cast(options ? *options : TTrainingOptions());
  Apply(chosen, settings);
  TTrainer trainer(chosen.cast<TTrainingOptions>());
  EditLock lock(self);
  self.CheckRecallable();
  FlagScope training_flag(self.training);
  EpochHook hook(std::move(callback));
  TTrainingResult result;
  {
    py::gil_scoped_release release;
    result = trainer.Train(self.network(), *training.data, validation != nullptr ? validation->data.get() : nullptr,
                           [&hook](const TEpochReport& report) { return hook(report); });
  }
  hook.RaisePending();
  return result;
}

py::object ValidationOrNone(bool has, double value) {
  return has ? py::object(py::float_(value)) : py::object(py::none());
}

void BindOptions(py::module_& module) {
  using O = TTrainingOptions;
  py::class_<O>(module, "TrainingOptions",
                "How Network.train() trains; every field can also be given to train() as a\n"
                "keyword. TrainingOptions(**fields) sets fields by name.")
      .def(py::init(&MakeOptions))
      .def_property(
          "algorithm", [](const O& o) { return NameOf(kAlgorithms, o.algorithm); },
          [](O& o, const std::string& name) { o.algorithm = ValueOf(kAlgorithms, name, "algorithm"); },
          "\"incremental\", \"batch\", \"irprop-\" (default), \"irprop+\", \"quickprop\" or \"adam\".")
      .def_property(
          "error", [](const O& o) { return NameOf(kErrors, o.error); },
          [](O& o, const std::string& name) { o.error = ValueOf(kErrors, name, "error function"); },
          "The error trained on: \"rms\" (default; sum of squares) or \"cross-entropy\".")
      .def_readwrite("epochs", &O::epochs, "The epoch limit (default 100).")
      .def_readwrite("target_error", &O::targetError, "Stop once the training error is at or below it; 0: never.")
      .def_readwrite("learning_rate", &O::learningRate,
                     "None: 0.7 (incremental, batch, quickprop) or 0.001 (adam); unused by RPROP.")
      .def_readwrite("momentum", &O::momentum, "Momentum of incremental and batch training, in [0, 1).")
      .def_readwrite("batch_size", &O::batchSize, "Adam's mini-batch size (default 32).")
      .def_readwrite("shuffle", &O::shuffle, "Visit the rows in a new random order each epoch (incremental, adam).")
      .def_readwrite("seed", &O::seed, "Seed of the shuffling generator (default 1).")
      .def_readwrite("rprop_increase", &O::rpropIncrease)
      .def_readwrite("rprop_decrease", &O::rpropDecrease)
      .def_readwrite("rprop_initial_step", &O::rpropInitialStep)
      .def_readwrite("rprop_min_step", &O::rpropMinStep)
      .def_readwrite("rprop_max_step", &O::rpropMaxStep)
      .def_readwrite("quickprop_decay", &O::quickpropDecay)
      .def_readwrite("quickprop_mu", &O::quickpropMu)
      .def_readwrite("adam_beta1", &O::adamBeta1)
      .def_readwrite("adam_beta2", &O::adamBeta2)
      .def_readwrite("adam_epsilon", &O::adamEpsilon)
      .def_property("penalty", &PenaltyText, &SetPenalty,
                    "A weight penalty as text, e.g. \"(lwf :learningrate 0.1 :forgettingrate 1e-4)\"\n"
                    "or \"(quadpenalty :epsilon1 0.01 :epsilon2 0 :beta 1)\"; None: none.")
      .def_readwrite("train_gains", &O::trainGains, "Also train the gains of gain neurons.")
      .def_readwrite("patience", &O::patience,
                     "With a validation set: stop after this many epochs without a better\n"
                     "validation error; 0: run every epoch.")
      .def_readwrite("prune_below", &O::pruneBelow,
                     "After training, prune trainable connections whose weight is smaller in\n"
                     "magnitude, then hidden neurons left without outputs; 0: none.");
}

void BindReports(py::module_& module) {
  py::class_<TEpochReport>(module, "EpochReport", "What the epoch callback of Network.train() receives.")
      .def_readonly("epoch", &TEpochReport::epoch, "The epoch, from 1.")
      .def_readonly("training_error", &TEpochReport::trainingError)
      .def_property_readonly(
          "validation_error",
          [](const TEpochReport& r) { return ValidationOrNone(r.hasValidation, r.validationError); },
          "None without a validation set.")
      .def_readonly("seconds", &TEpochReport::seconds, "Seconds since training began.")
      .def_readonly("best", &TEpochReport::best, "Whether this epoch has the lowest error so far.")
      .def("__repr__", [](const TEpochReport& r) {
        return "<netforge.EpochReport epoch " + std::to_string(r.epoch) + ", training error " +
               std::to_string(r.trainingError) + ">";
      });
  py::class_<TTrainingResult>(module, "TrainingResult", "What Network.train() returns.")
      .def_readonly("epochs", &TTrainingResult::epochs, "Epochs run.")
      .def_readonly("best_epoch", &TTrainingResult::bestEpoch,
                    "The epoch of the lowest validation (without one: training) error.")
      .def_readonly("best_error", &TTrainingResult::bestError)
      .def_property_readonly(
          "stop", [](const TTrainingResult& r) { return NameOf(kStops, r.stop); },
          "Why training ended: \"epochs\", \"target-error\", \"patience\",\n"
          "\"callback\", \"interrupted\" or \"diverged\".")
      .def_readonly("training_error", &TTrainingResult::trainingError, "Of the network as left, measured anew.")
      .def_property_readonly(
          "validation_error",
          [](const TTrainingResult& r) { return ValidationOrNone(r.hasValidation, r.validationError); })
      .def_readonly("connections_pruned", &TTrainingResult::connectionsPruned)
      .def_readonly("neurons_pruned", &TTrainingResult::neuronsPruned)
      .def_readonly("seconds", &TTrainingResult::seconds)
      .def("__repr__", [](const TTrainingResult& r) {
        return "<netforge.TrainingResult " + std::to_string(r.epochs) + " epochs, stop \"" + NameOf(kStops, r.stop) +
               "\", training error " + std::to_string(r.trainingError) + ">";
      });
}

}  // namespace

void BindTraining(py::module_& module) {
  BindOptions(module);
  BindReports(module);
  py::object network = module.attr("Network");
  py::cast<py::class_<PyNetwork, std::shared_ptr<PyNetwork>>>(network).def(
      "train", &Train, py::arg("data"), py::arg("validation") = nullptr, py::kw_only(),
      py::arg("callback") = py::none(), py::arg("options") = py::none(),
      "Trains the network on the DataSet |data| (inputs and outputs) and returns a\n"
      "TrainingResult. Options come from |options| (a TrainingOptions) with any\n"
      "further keywords applied on top, e.g. train(data, algorithm=\"adam\",\n"
      "epochs=500). With a |validation| DataSet the network is left as after its\n"
      "epoch of lowest validation error, otherwise as after the last epoch.\n"
      "|callback(report)| runs after every epoch with an EpochReport; returning\n"
      "False stops training. Ctrl-C (KeyboardInterrupt), like an exception from the\n"
      "callback, stops training after the current epoch with the best network kept,\n"
      "and is then raised. Other Python threads run while the network trains; calls\n"
      "that would change the network wait (or, from the callback, are refused).\n"
      "Bad options, data sets or networks raise NetforgeError before anything changes.");
}

}  // namespace nfpy
