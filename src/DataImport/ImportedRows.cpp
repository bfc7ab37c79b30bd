#include "DataImport/ImportedRows.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <utility>

#include "DataObject/Data.h"
#include "FileHandler/ParseTools.h"

namespace Netforge {

bool ImportedRows::EndRow() {
  if (rows_ >= std::numeric_limits<std::int32_t>::max()) {
    inputValues_.resize(inputValues_.size() - static_cast<std::size_t>(inputs_));
    outputValues_.resize(outputValues_.size() - static_cast<std::size_t>(outputs_));
    return false;
  }
  ++rows_;
  return true;
}

std::unique_ptr<Data> ImportedRows::ToData() const {
  auto data = std::make_unique<Data>(rows_, inputs_, outputs_, false);
  for (long row = 0; row < rows_; ++row) {
    const std::size_t r = static_cast<std::size_t>(row);
    data->AppendRow(inputs_ > 0 ? &inputValues_[r * static_cast<std::size_t>(inputs_)] : nullptr,
                    outputs_ > 0 ? &outputValues_[r * static_cast<std::size_t>(outputs_)] : nullptr, nullptr);
  }
  return data;
}

void ThrowFileError(std::string message, std::int64_t line, std::int64_t column) {
  throw FileTools::Error{std::move(message), nullptr, nullptr, line, column};
}

std::ifstream OpenForImport(const std::string& path) {
  std::ifstream in(path, std::ios_base::in | std::ios_base::binary);
  if (in.is_open()) {
    in.peek();  // a folder opens, but fails at the first read
    if (!in.bad()) {
      in.clear();
      return in;
    }
  }
  ThrowFileError("cannot open " + path + " for reading", 0, 0);
}

}  // namespace Netforge
