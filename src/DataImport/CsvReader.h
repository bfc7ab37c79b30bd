// CsvReader: imports a table of comma-separated values into a Data.
//
// The table is read as RFC 4180 describes it: records end at a line end (LF
// or CR LF), cells are separated by the delimiter, and a cell in double
// quotes may hold delimiters, line ends and doubled quotes (""). Blanks and
// tabs around a cell are dropped, blank lines are skipped, and a UTF-8 byte
// order mark at the start is ignored. Every record must have as many cells as
// the first.
//
// The first record may name the columns (a header row). Some columns become
// the inputs of each row and others the expected outputs, chosen with column
// lists (ColumnList.h); the cells of the chosen columns must be decimal
// numbers (DecimalNumber.h), those of other columns are not looked at. The
// values are the doubles nearest to the cells' texts, whatever the locale.
//
// Errors in the file are thrown as FileTools::Error with the message and the
// line and column (from 1, in bytes) of the offending cell; errors in the
// options (a bad delimiter, a column list that does not fit the table) as
// TException with the kind "Bad Parameter". Not thread-safe on one stream;
// separate calls share nothing.
#ifndef NETFORGE_DATAIMPORT_CSVREADER_H
#define NETFORGE_DATAIMPORT_CSVREADER_H

#include <iosfwd>
#include <memory>
#include <optional>
#include <string>

class Data;

namespace Netforge {

enum class CsvHeader {
  kAuto,     // the first record is a header when none of its cells is a number
  kPresent,  // the first record names the columns
  kAbsent,   // every record is a row of data
};

struct CsvOptions {
  // The cell separator: any byte but a quote, a line end, a blank or a byte
  // that can be part of a number ("0-9 + - . e E"). Often ',' ';' or '\t'.
  char delimiter = ',';
  CsvHeader header = CsvHeader::kAuto;
  // Column lists of the input and the expected-output columns. When neither
  // is given, the last column is the output and all others are inputs; when
  // only one is given, the other takes all remaining columns. At least one
  // input column is needed; the outputs may be the empty list.
  std::optional<std::string> inputs;
  std::optional<std::string> outputs;
};

// Reads the table from |in| to its end. The result has one row per data
// record, in file order (MbrNdxDataRows rows, all slots filled), the chosen
// input columns as inputs and output columns as outputs, in the order the
// lists give, and no labels. A table without data records is an error.
std::unique_ptr<Data> ReadCsv(std::istream& in, const CsvOptions& options);

// The same for the file at |path|; a file that cannot be opened or read is
// a FileTools::Error without a place (line and column 0).
std::unique_ptr<Data> ReadCsvFile(const std::string& path, const CsvOptions& options);

}  // namespace Netforge

#endif  // NETFORGE_DATAIMPORT_CSVREADER_H
