// The statement reader over arbitrary text: the read loop of every file
// reader, with block names opened and closed as the statements come.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "FileHandler/ParseTools.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  FileTools tools;
  std::vector<std::string> blocks;  // names of the open blocks, innermost last
  bool continued = false;
  try {
    for (int step = 0; step < 100000; ++step) {
      const char* blockdef = blocks.empty() ? nullptr : blocks.back().c_str();
      Statement statement = tools.ReadStatement(in, blockdef, continued);
      continued = statement.open;
      if (statement.type == End) {
        if (blocks.empty()) break;
        blocks.pop_back();
      } else if (statement.type == Tag && !statement.open && blocks.size() < 64) {
        blocks.push_back(statement.name);
      } else if (statement.type == Token) {
        try {
          tools.GetNumberToken(statement, in);
        } catch (const FileTools::Error&) {
        }
      } else if (statement.type == Assignment) {
        try {
          tools.ParseInteger(in, statement.value.c_str());
        } catch (const FileTools::Error&) {
        }
      }
    }
  } catch (const FileTools::Error&) {
  }
  return 0;
}
