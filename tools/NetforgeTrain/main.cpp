// NetforgeTrain: trains a network file's network on a data set file.
//
// Usage: NetforgeTrain [options] NETWORK TRAINSET OUTPUT (see kHelpText).
// Exit status 0 on success, 1 after a failure (one message on standard
// error, nothing written), 130 when SIGINT or SIGTERM stopped the training
// (the best network so far is written).
#include <csignal>
#include <cstdio>
#include <exception>
#include <iostream>
#include <new>
#include <stdexcept>
#include <string>

#include "CommandLine.h"
#include "Common/Version.h"
#include "KQmessage/TException.h"
#include "TrainingRun.h"
#include "Training/TTrainer.h"

namespace {

const char* const kUsage = "Usage: NetforgeTrain [options] NETWORK TRAINSET OUTPUT (--help for more)\n";

TTrainer* g_trainer = nullptr;
volatile std::sig_atomic_t g_signalled = 0;

// The first signal asks the trainer to stop after the current epoch
// (RequestStop is async-signal-safe); a second one, for a user who will not
// wait for a long epoch, ends the program at once by the signal's default
// action, which leaves OUTPUT as it was.
extern "C" void StopTraining(int signal) {
  if (g_signalled != 0) {
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    return;
  }
  g_signalled = 1;
  if (g_trainer != nullptr) g_trainer->RequestStop();
}

void InstallStopHandlers() {
  struct sigaction action {};
  action.sa_handler = StopTraining;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

int Fail(const std::string& message) {
  std::cerr << message << '\n';
  return 1;
}

int Train(const TrainSettings& settings) {
  try {
    TTrainer trainer(settings.options);
    g_trainer = &trainer;
    InstallStopHandlers();
    const int status = RunTraining(settings, trainer);
    g_trainer = nullptr;
    return status;
  } catch (const RunFailure& failure) {
    return Fail(failure.Text());
  } catch (const FileFailure& failure) {
    return Fail(failure.file + ": " + failure.message);
  } catch (const TException& exception) {
    return Fail(std::string("NetforgeTrain: ") + (exception.message != nullptr ? exception.message : "failed"));
  } catch (const std::bad_alloc&) {
    return Fail("NetforgeTrain: not enough memory");
  } catch (const std::exception& error) {
    return Fail(std::string("NetforgeTrain: ") + error.what());
  }
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc == 2 && std::string(argv[1]) == "--version") {
    std::cout << Netforge::VersionLine("NetforgeTrain") << '\n' << std::flush;
    return std::cout ? 0 : 1;
  }
  TrainSettings settings;
  try {
    settings = ParseCommandLine(argc, argv);
  } catch (const UsageError& error) {
    std::cerr << "NetforgeTrain: " << error.message << '\n' << kUsage;
    return 1;
  }
  if (settings.help) {
    std::cout << kHelpText << std::flush;
    return std::cout ? 0 : 1;
  }
  return Train(settings);
}
