// The library's console: the one place through which the library writes to
// the console, so that a program embedding it (a tool whose standard output
// carries results, a Python module, a GUI) can send those texts elsewhere.
//
// The library writes to the console only here, and only these texts:
//   - the network reader's echo of a word it does not know in a weight list
//     ("<word>\n"), to standard output;
//   - "!Warning: changed input layer (TSimpleLayer)\n" and
//     "!Warning: changed input layer (TSimpleInputLayer)\n" when an input
//     layer kind stands where it cannot take the network's input, to
//     standard error;
//   - "special character unexpected\n" from the KQML parser, to standard
//     error.
// (Print and PrintLine of KQML.h write to standard output because a caller
// asks them to; failed consistency checks (Common/Assert.h) always write to
// standard error, as the program stops.)
//
// By default each text goes to the stream named above and is flushed at
// once. SetConsoleSink replaces that for the whole process; the sink
// receives each text whole, with its line end, and the stream it would have
// gone to.
//
// Thread safety: SetConsoleSink and WriteConsole may be called from any
// thread. A sink may be called from several threads at once (the library's
// objects write from the thread that uses them) and must cope with that.
#ifndef NETFORGE_COMMON_CONSOLE_H
#define NETFORGE_COMMON_CONSOLE_H

#include <functional>
#include <string_view>

namespace Netforge {

// Where a console text goes by default.
enum class ConsoleStream {
  Output,  // standard output
  Error,   // standard error
};

// Receives one console text; the view is valid during the call only.
using ConsoleSink = std::function<void(ConsoleStream stream, std::string_view text)>;

// Sends every later console text of the library to |sink|; an empty sink
// restores the standard streams. Returns the sink in force before (empty for
// the standard streams), so that a caller can put it back.
ConsoleSink SetConsoleSink(ConsoleSink sink);

// Writes |text| through the sink in force. Used by the library.
void WriteConsole(ConsoleStream stream, std::string_view text);

// Installs a sink for the lifetime of the object and then puts back the one
// in force before. Scopes must end in the reverse order of their start.
class ScopedConsoleSink {
 public:
  explicit ScopedConsoleSink(ConsoleSink sink) : previous_(SetConsoleSink(std::move(sink))) {}
  ~ScopedConsoleSink() { SetConsoleSink(std::move(previous_)); }
  ScopedConsoleSink(const ScopedConsoleSink&) = delete;
  ScopedConsoleSink& operator=(const ScopedConsoleSink&) = delete;

 private:
  ConsoleSink previous_;
};

}  // namespace Netforge

#endif  // NETFORGE_COMMON_CONSOLE_H
