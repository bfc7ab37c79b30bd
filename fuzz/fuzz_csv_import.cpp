// The CSV importer. The first byte chooses the options (delimiter, header
// row, column lists); the rest is the table. A table that imports must come
// back bit for bit from a data set file.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "DataImport/CsvReader.h"
#include "FileHandler/ParseTools.h"
#include "ImportRoundTrip.h"
#include "KQmessage/TException.h"

namespace {

Netforge::CsvOptions OptionsOf(std::uint8_t choice) {
  static const char kDelimiters[] = {',', ';', '\t', '|'};
  static const Netforge::CsvHeader kHeaders[] = {Netforge::CsvHeader::kAuto, Netforge::CsvHeader::kPresent,
                                                 Netforge::CsvHeader::kAbsent, Netforge::CsvHeader::kAuto};
  Netforge::CsvOptions options;
  options.delimiter = kDelimiters[choice & 3];
  options.header = kHeaders[(choice >> 2) & 3];
  switch ((choice >> 4) & 7) {
    case 1: options.inputs = "1"; break;
    case 2: options.outputs = ""; break;
    case 3: options.inputs = "2-3,1"; options.outputs = "y"; break;
    case 4: options.outputs = "x,2"; break;
    case 5: options.inputs = "1-2"; options.outputs = "2-3"; break;
    default: break;
  }
  return options;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::istringstream in(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
  try {
    const auto imported = Netforge::ReadCsv(in, OptionsOf(data[0]));
    CheckRoundTrip(*imported);
  } catch (const FileTools::Error&) {
  } catch (const TException&) {
  }
  return 0;
}
