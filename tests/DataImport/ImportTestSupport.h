// Helpers shared by the importer tests: the rows of a Data as plain vectors,
// and the place and message of a FileTools::Error.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "DataObject/Data.h"
#include "FileHandler/ParseTools.h"

namespace ImportTest {

using Rows = std::vector<std::vector<double>>;

inline Rows InputsOf(const Data& data) {
  Rows rows;
  for (long row = 0; row < data.MbrNdxDataRows; ++row) {
    rows.emplace_back(data.MbrDyaRtpInputs[row], data.MbrDyaRtpInputs[row] + data.MbrNdxInputs);
  }
  return rows;
}

inline Rows OutputsOf(const Data& data) {
  Rows rows;
  for (long row = 0; row < data.MbrNdxDataRows; ++row) {
    if (data.MbrNdxOutputs > 0) {
      rows.emplace_back(data.MbrDyaRtpOutputs[row], data.MbrDyaRtpOutputs[row] + data.MbrNdxOutputs);
    } else {
      rows.emplace_back();
    }
  }
  return rows;
}

// "LINE:COLUMN: message" of the FileTools::Error that |action| throws, or
// "no error".
inline std::string FileErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const FileTools::Error& error) {
    return std::to_string(error.line) + ":" + std::to_string(error.column) + ": " + error.message;
  }
  return "no error";
}

}  // namespace ImportTest
