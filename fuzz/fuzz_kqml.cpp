// Structured message text: Parse and ParseMessage, and print/parse round trips
// of whatever parses.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "KQmessage/KQML.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const char* cursor = text.c_str();
  try {
    std::unique_ptr<TKQstructure> parsed(Parse(cursor));
    const std::string printed = TextForm(parsed.get());
    const char* again = printed.c_str();
    try {
      std::unique_ptr<TKQstructure> reparsed(ParseMessage(again));
      // Printing is a fixed point once a text has been parsed and printed,
      // unless the printed form itself is not parseable (heads may hold
      // characters that the parser treats as separators).
      if (TextForm(reparsed.get()) != printed) std::abort();
    } catch (const TKQstructure::Error& error) {
      delete error.structure;
    }
  } catch (const TKQstructure::Error& error) {
    delete error.structure;
  }
  cursor = text.c_str();
  try {
    std::unique_ptr<TKQstructure> message(ParseMessage(cursor));
  } catch (const TKQstructure::Error& error) {
    delete error.structure;
  }
  return 0;
}
