#include "DataImport/CsvReader.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <istream>
#include <string>
#include <vector>

#include "DataImport/ColumnList.h"
#include "DataImport/CountingReader.h"
#include "DataImport/DecimalNumber.h"
#include "DataImport/ImportedRows.h"
#include "DataObject/Data.h"
#include "KQmessage/TException.h"

namespace Netforge {

namespace {

struct Cell {
  std::string text;
  std::int64_t line = 0;  // where the cell's text (or its opening quote) begins
  std::int64_t column = 0;
};

bool IsBlank(int c) { return c == ' ' || c == '\t'; }

// Splits the input into records of cells (RFC 4180, see CsvReader.h).
class RecordReader {
 public:
  RecordReader(std::istream& in, char delimiter) : reader_(in), delimiter_(static_cast<unsigned char>(delimiter)) {
    reader_.SkipByteOrderMark();
  }

  // Reads the next record that is not a blank line into |cells| (whose
  // first |count| entries are set; the vector only grows, so that its
  // strings keep their storage). Returns false at the end of the input.
  bool Next(std::vector<Cell>& cells, std::size_t& count) {
    do {
      if (reader_.Peek() == CountingReader::kEnd) return false;
      count = 0;
      bool more = true;
      while (more) {
        if (count == cells.size()) cells.emplace_back();
        more = ReadCell(cells[count++]);
      }
    } while (count == 1 && cells[0].text.empty() && !quoted_);
    return true;
  }

 private:
  // Reads one cell; returns whether another cell of the record follows.
  bool ReadCell(Cell& cell) {
    cell.text.clear();
    quoted_ = false;
    while (IsBlank(reader_.Peek()) && reader_.Peek() != delimiter_) reader_.Get();
    cell.line = reader_.Line();
    cell.column = reader_.Column();
    if (reader_.Peek() == '"') {
      quoted_ = true;
      ReadQuoted(cell);
      while (IsBlank(reader_.Peek()) && reader_.Peek() != delimiter_) reader_.Get();
      const int next = reader_.Peek();
      if (next != delimiter_ && next != '\n' && next != '\r' && next != CountingReader::kEnd) {
        ThrowFileError("text after the closing quote of a cell", reader_.Line(), reader_.Column());
      }
    }
    return EndOfCell(cell);
  }

  void ReadQuoted(Cell& cell) {
    reader_.Get();  // the opening quote
    while (true) {
      const int c = reader_.Get();
      if (c == CountingReader::kEnd) ThrowFileError("quoted cell not closed", cell.line, cell.column);
      if (c == '"') {
        if (reader_.Peek() != '"') return;
        reader_.Get();
      }
      cell.text += static_cast<char>(c);
    }
  }

  // Takes the rest of the cell up to the delimiter or the line end (for a
  // quoted cell only blanks are left) and drops trailing blanks.
  bool EndOfCell(Cell& cell) {
    while (true) {
      const int c = reader_.Get();
      if (c == delimiter_) break;
      if (c == '\n' || c == CountingReader::kEnd) return TrimmedEnd(cell, false);
      if (c == '\r' && reader_.Peek() == '\n') {
        reader_.Get();
        return TrimmedEnd(cell, false);
      }
      cell.text += static_cast<char>(c);
    }
    return TrimmedEnd(cell, true);
  }

  bool TrimmedEnd(Cell& cell, bool more) {
    if (!quoted_) {
      while (!cell.text.empty() && IsBlank(static_cast<unsigned char>(cell.text.back()))) cell.text.pop_back();
    }
    return more;
  }

  CountingReader reader_;
  int delimiter_;
  bool quoted_ = false;  // whether the cell just read was quoted
};

void CheckDelimiter(char delimiter) {
  if (delimiter == '\0' || std::strchr("\"\r\n 0123456789+-.eE", delimiter) != nullptr) {
    throw TException("not a usable CSV delimiter (a quote, a line end, a blank or part of a number)",
                     "Bad Parameter", "ReadCsv", nullptr);
  }
}

bool IsNumber(const Cell& cell) {
  double ignored = 0.0;
  return ParseDecimalNumber(cell.text, ignored).empty();
}

bool IsHeader(const std::vector<Cell>& cells, std::size_t count, CsvHeader header) {
  if (header != CsvHeader::kAuto) return header == CsvHeader::kPresent;
  for (std::size_t i = 0; i < count; ++i) {
    if (IsNumber(cells[i])) return false;
  }
  return true;
}

// The input and output columns that |options| choose for a table of
// |columns| columns named |names|.
void ChooseColumns(const CsvOptions& options, const std::vector<std::string>& names, long columns,
                   std::vector<long>& inputs, std::vector<long>& outputs) {
  if (options.inputs) inputs = ResolveColumnList(*options.inputs, names, columns);
  if (options.outputs) outputs = ResolveColumnList(*options.outputs, names, columns);
  if (!options.inputs && !options.outputs) {
    outputs.assign(1, columns - 1);
    inputs = OtherColumns(outputs, columns);
  } else if (!options.inputs) {
    inputs = OtherColumns(outputs, columns);
  } else if (!options.outputs) {
    outputs = OtherColumns(inputs, columns);
  }
  if (inputs.empty()) {
    throw TException("no input columns: a data set needs at least one", "Bad Parameter", "ReadCsv", nullptr);
  }
}

// The value of a data cell in column |column| (from 0).
double CellValue(const Cell& cell, long column, const std::vector<std::string>& names) {
  double value = 0.0;
  const std::string problem = ParseDecimalNumber(cell.text, value);
  if (problem.empty()) return value;
  std::string where = "column " + std::to_string(column + 1);
  if (!names.empty()) where += " (" + names[static_cast<std::size_t>(column)] + ")";
  ThrowFileError(where + ": " + problem, cell.line, cell.column);
}

}  // namespace

std::unique_ptr<Data> ReadCsv(std::istream& in, const CsvOptions& options) {
  CheckDelimiter(options.delimiter);
  RecordReader records(in, options.delimiter);
  std::vector<Cell> cells;
  std::size_t count = 0;
  if (!records.Next(cells, count)) ThrowFileError("the table is empty", 1, 1);

  const long columns = static_cast<long>(count);
  std::vector<std::string> names;
  const bool header = IsHeader(cells, count, options.header);
  if (header) {
    for (std::size_t i = 0; i < count; ++i) names.push_back(cells[i].text);
  }
  std::vector<long> inputs, outputs;
  ChooseColumns(options, names, columns, inputs, outputs);

  ImportedRows rows(static_cast<long>(inputs.size()), static_cast<long>(outputs.size()));
  bool haveRecord = header ? records.Next(cells, count) : true;
  for (; haveRecord; haveRecord = records.Next(cells, count)) {
    if (static_cast<long>(count) != columns) {
      ThrowFileError("a record of " + std::to_string(count) + " cells where the first has " +
                         std::to_string(columns),
                     cells[0].line, cells[0].column);
    }
    for (long column : inputs) rows.AddInput(CellValue(cells[static_cast<std::size_t>(column)], column, names));
    for (long column : outputs) rows.AddOutput(CellValue(cells[static_cast<std::size_t>(column)], column, names));
    if (!rows.EndRow()) ThrowFileError("more rows than a data set holds", cells[0].line, cells[0].column);
  }
  if (rows.Rows() == 0) ThrowFileError("the table has a header but no rows of data", 0, 0);
  return rows.ToData();
}

std::unique_ptr<Data> ReadCsvFile(const std::string& path, const CsvOptions& options) {
  std::ifstream in = OpenForImport(path);
  return ReadCsv(in, options);
}

}  // namespace Netforge
