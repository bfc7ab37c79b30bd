// ImportedRows: the rows an importer has read so far, and the place-aware
// errors and file opening that the importers share.
//
// An importer does not know its number of rows in advance (or must not trust
// a count that a file announces), so it collects the values here as they are
// read -- memory grows with what the file really holds -- and turns them into
// a Data at the end. Not thread-safe; one importer owns one ImportedRows.
#ifndef NETFORGE_DATAIMPORT_IMPORTEDROWS_H
#define NETFORGE_DATAIMPORT_IMPORTEDROWS_H

#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

class Data;

namespace Netforge {

class ImportedRows {
 public:
  // Rows of |inputs| input and |outputs| output values.
  ImportedRows(long inputs, long outputs) : inputs_(inputs), outputs_(outputs) {}

  void AddInput(double value) { inputValues_.push_back(value); }
  void AddOutput(double value) { outputValues_.push_back(value); }
  // Ends the current row, whose values must all have been added. Returns
  // false, taking nothing, when the row would be one more than a Data holds.
  bool EndRow();

  long Rows() const { return rows_; }

  // A Data of Rows() slots holding the rows in the order they were added.
  std::unique_ptr<Data> ToData() const;

 private:
  long inputs_;
  long outputs_;
  long rows_ = 0;
  std::vector<double> inputValues_;
  std::vector<double> outputValues_;
};

// Throws FileTools::Error with |message| at |line| and |column| (0 for no
// place).
[[noreturn]] void ThrowFileError(std::string message, std::int64_t line, std::int64_t column);

// Opens |path| for reading in binary mode; a file that cannot be opened or
// read (a folder) is a FileTools::Error "cannot open PATH for reading".
std::ifstream OpenForImport(const std::string& path);

}  // namespace Netforge

#endif  // NETFORGE_DATAIMPORT_IMPORTEDROWS_H
