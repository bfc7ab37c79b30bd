#include "DataImport/FannReader.h"

#include <cstdint>
#include <istream>
#include <limits>
#include <string>

#include "Common/NumberText.h"
#include "DataImport/CountingReader.h"
#include "DataImport/DecimalNumber.h"
#include "DataImport/ImportedRows.h"
#include "DataObject/Data.h"

namespace Netforge {

namespace {

bool IsSeparator(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// The words of the input with their places.
class WordReader {
 public:
  explicit WordReader(std::istream& in) : reader_(in) { reader_.SkipByteOrderMark(); }

  // Reads the next word into |word|; false at the end of the input, where
  // Line() and Column() then point.
  bool Next(std::string& word) {
    while (IsSeparator(reader_.Peek())) reader_.Get();
    line_ = reader_.Line();
    column_ = reader_.Column();
    word.clear();
    while (reader_.Peek() != CountingReader::kEnd && !IsSeparator(reader_.Peek())) {
      word += static_cast<char>(reader_.Get());
    }
    return !word.empty();
  }

  [[noreturn]] void Fail(const std::string& message) const { ThrowFileError(message, line_, column_); }

 private:
  CountingReader reader_;
  std::int64_t line_ = 1;  // where the last word (or the end) begins
  std::int64_t column_ = 1;
};

// One count of the first line, |minimum| or more.
long ReadCount(WordReader& words, const char* what, long minimum) {
  std::string word;
  if (!words.Next(word)) {
    words.Fail(std::string("the file ends where the number of ") + what + " is due");
  }
  long count = 0;
  const char* end = nullptr;
  const ScanResult result =
      ScanLong(word.c_str(), count, minimum, std::numeric_limits<std::int32_t>::max(), &end);
  if (result == ScanResult::kNoNumber || end != word.c_str() + word.size()) {
    words.Fail(std::string("the number of ") + what + " must be a whole number, not \"" + word.substr(0, 40) + "\"");
  }
  if (result != ScanResult::kOk) {
    words.Fail(std::string("the number of ") + what + " must lie between " + std::to_string(minimum) + " and " +
               std::to_string(std::numeric_limits<std::int32_t>::max()));
  }
  return count;
}

double ReadValue(WordReader& words, std::string& word, long row, long rows) {
  if (!words.Next(word)) {
    words.Fail("the file ends in row " + std::to_string(row + 1) + " of " + std::to_string(rows));
  }
  double value = 0.0;
  const std::string problem = ParseDecimalNumber(word, value);
  if (!problem.empty()) words.Fail("row " + std::to_string(row + 1) + ": " + problem);
  return value;
}

}  // namespace

std::unique_ptr<Data> ReadFannData(std::istream& in) {
  WordReader words(in);
  const long rows = ReadCount(words, "rows", 1);
  const long inputs = ReadCount(words, "inputs", 1);
  const long outputs = ReadCount(words, "outputs", 0);

  ImportedRows collected(inputs, outputs);
  std::string word;
  for (long row = 0; row < rows; ++row) {
    for (long i = 0; i < inputs; ++i) collected.AddInput(ReadValue(words, word, row, rows));
    for (long o = 0; o < outputs; ++o) collected.AddOutput(ReadValue(words, word, row, rows));
    collected.EndRow();  // rows fit: their count was checked against the limit
  }
  if (words.Next(word)) {
    words.Fail("text after the last of " + std::to_string(rows) + " rows: \"" + word.substr(0, 40) + "\"");
  }
  return collected.ToData();
}

std::unique_ptr<Data> ReadFannDataFile(const std::string& path) {
  std::ifstream in = OpenForImport(path);
  return ReadFannData(in);
}

}  // namespace Netforge
