// ConsoleRecorder: records the library's console texts (Common/Console.h)
// while it lives, so that tests check them without capturing the process's
// standard streams. Texts bound for standard output and standard error are
// kept apart. Restores the sink in force before when it ends; recorders
// nest. Thread-safe.
#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <utility>

#include "Common/Console.h"

namespace TestSupport {

class ConsoleRecorder {
 public:
  ConsoleRecorder()
      : scope_([this](Netforge::ConsoleStream stream, std::string_view text) {
          std::lock_guard<std::mutex> lock(mutex_);
          (stream == Netforge::ConsoleStream::Output ? output_ : error_).append(text);
        }) {}

  // What was written for standard output (standard error) so far; the
  // record starts anew.
  std::string TakeOutput() { return Take(output_); }
  std::string TakeError() { return Take(error_); }

 private:
  std::string Take(std::string& record) {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::exchange(record, std::string());
  }

  std::mutex mutex_;
  std::string output_;
  std::string error_;
  Netforge::ScopedConsoleSink scope_;  // last: installed once the record exists
};

}  // namespace TestSupport
