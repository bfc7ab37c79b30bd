#include "Common/Console.h"

#include <cstdio>
#include <iostream>
#include <mutex>
#include <utility>

namespace Netforge {

namespace {

// The sink in force (empty: the standard streams) and its guard. A function
// keeps them, so that a text written during static initialisation finds them
// constructed.
struct ConsoleState {
  std::mutex mutex;
  ConsoleSink sink;
};

ConsoleState& State() {
  static ConsoleState state;
  return state;
}

void WriteStandard(ConsoleStream stream, std::string_view text) {
  if (stream == ConsoleStream::Output) {
    std::cout.write(text.data(), static_cast<std::streamsize>(text.size()));
    std::cout.flush();
  } else {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
  }
}

}  // namespace

ConsoleSink SetConsoleSink(ConsoleSink sink) {
  ConsoleState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  std::swap(state.sink, sink);
  return sink;
}

void WriteConsole(ConsoleStream stream, std::string_view text) {
  ConsoleSink sink;
  {
    // A copy, called without the lock: a sink may itself write or replace
    // the sink without deadlock.
    ConsoleState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    sink = state.sink;
  }
  if (sink) sink(stream, text);
  else WriteStandard(stream, text);
}

}  // namespace Netforge
