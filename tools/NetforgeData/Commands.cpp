#include "Commands.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "AtomicOutput.h"
#include "CommandLine.h"
#include "DataImport/CsvReader.h"
#include "DataImport/DataSplit.h"
#include "DataImport/FannReader.h"
#include "DataObject/Data.h"
#include "FileHandler/Filer.h"
#include "FileHandler/ParseTools.h"

namespace {

const char* const kImportCsvHelp =
    "Usage: NetforgeData import-csv [OPTIONS] CSV OUTPUT\n"
    "\n"
    "Reads the table of comma-separated values CSV and writes its rows as the\n"
    "data set file OUTPUT. Cells may be quoted (\"a, b\"; \"\" is a quote inside),\n"
    "blank lines are skipped, and the cells of the chosen columns must be\n"
    "decimal numbers with a decimal point (1.5, -2e-3), never a comma.\n"
    "\n"
    "Options:\n"
    "  --inputs LIST      the input columns (see below)\n"
    "  --outputs LIST     the expected-output columns; \"\" for none\n"
    "                     Without either, the last column is the output and all\n"
    "                     others are inputs; with one, the other gets the rest.\n"
    "  --header           the first line names the columns\n"
    "  --no-header        the first line is data\n"
    "                     Default: the first line names the columns when none of\n"
    "                     its cells is a number.\n"
    "  --delimiter C      the cell separator: one character, or \"tab\"\n"
    "                     (default \",\")\n"
    "  --help             show this text\n"
    "\n"
    "A LIST is a comma-separated list of column numbers (from 1), ranges such\n"
    "as 2-5, and column names of the header line: --inputs 1-4 --outputs species\n"
    "\n"
    "The values are written exactly: reading OUTPUT gives the very doubles\n"
    "that the cells' texts stand for.\n";

const char* const kImportFannHelp =
    "Usage: NetforgeData import-fann FANNDATA OUTPUT\n"
    "\n"
    "Reads training data in FANN's format (a first line of three counts: rows,\n"
    "inputs, outputs; then per row its input values and its output values)\n"
    "and writes it as the data set file OUTPUT, values exactly as read.\n"
    "\n"
    "Options:\n"
    "  --help             show this text\n";

const char* const kSplitHelp =
    "Usage: NetforgeData split --fractions F1,F2[,F3...] [--seed N] INPUT OUTPUT1 OUTPUT2 [OUTPUT3...]\n"
    "\n"
    "Deals the rows of the data set file INPUT out to the data set files\n"
    "OUTPUT1, OUTPUT2, ... at random, so that OUTPUTk receives the fraction Fk of\n"
    "them (rounded so the counts add up), for example training, validation and\n"
    "test sets with --fractions 0.7,0.15,0.15. Each output keeps its rows in\n"
    "INPUT's order. The same seed gives the same split on every machine.\n"
    "\n"
    "Options:\n"
    "  --fractions LIST   one fraction per output, each from 0 to 1, adding up to 1\n"
    "  --seed N           seed of the shuffle, a whole number (default 1)\n"
    "  --help             show this text\n";

// The operands of |line|, which must be exactly |count|.
const std::vector<std::string>& ExactOperands(const CommandLine& line, std::size_t count, const char* usage) {
  if (line.Operands().size() != count) throw UsageError(std::string("expected ") + usage);
  return line.Operands();
}

// Runs |read| on |path|, turning a file error into an InputError.
template <typename Reader>
std::unique_ptr<Data> ReadInput(const std::string& path, Reader read) {
  try {
    return read(path);
  } catch (const FileTools::Error& error) {
    throw InputError{path, error.line, error.column, error.message};
  }
}

char DelimiterOf(const std::string& text) {
  if (text == "tab" || text == "\t") return '\t';
  if (text.size() != 1) throw UsageError("--delimiter: one character or \"tab\", not \"" + text + "\"");
  return text[0];
}

void ImportCsv(const std::vector<std::string>& args) {
  const CommandLine line(args, {{"inputs", true}, {"outputs", true}, {"header", false}, {"no-header", false},
                                {"delimiter", true}});
  const auto& files = ExactOperands(line, 2, "CSV OUTPUT");
  Netforge::CsvOptions options;
  if (line.Has("header") && line.Has("no-header")) throw UsageError("--header and --no-header exclude each other");
  if (line.Has("header")) options.header = Netforge::CsvHeader::kPresent;
  if (line.Has("no-header")) options.header = Netforge::CsvHeader::kAbsent;
  if (const auto delimiter = line.Value("delimiter")) options.delimiter = DelimiterOf(*delimiter);
  options.inputs = line.Value("inputs");
  options.outputs = line.Value("outputs");
  const auto data =
      ReadInput(files[0], [&](const std::string& path) { return Netforge::ReadCsvFile(path, options); });
  WriteDataSetFiles({{files[1], data.get()}});
}

void ImportFann(const std::vector<std::string>& args) {
  const CommandLine line(args, {});
  const auto& files = ExactOperands(line, 2, "FANNDATA OUTPUT");
  const auto data = ReadInput(files[0], [](const std::string& path) { return Netforge::ReadFannDataFile(path); });
  WriteDataSetFiles({{files[1], data.get()}});
}

// The first data set of the data set file |path|.
std::unique_ptr<Data> ReadDataSetFile(const std::string& path) {
  FileTools tools;
  Data* first = nullptr;
  Data* second = nullptr;
  int status = SUCCESS;
  try {
    status = tools.ReadDataSet(path.c_str(), &first, &second, nullptr);
  } catch (...) {
    delete first;
    delete second;
    throw;
  }
  std::unique_ptr<Data> data(first);
  delete second;  // generated outputs and errors are not split
  if (status == FILE_OPEN_FAILED) throw InputError{path, 0, 0, "cannot open the file for reading"};
  if (status != SUCCESS) throw InputError{path, 0, 0, "not a data set file (its header is not acceptable)"};
  if (data == nullptr) throw InputError{path, 0, 0, "the file holds no data set to split"};
  return data;
}

void Split(const std::vector<std::string>& args) {
  const CommandLine line(args, {{"fractions", true}, {"seed", true}});
  const auto fractionsText = line.Value("fractions");
  if (!fractionsText) throw UsageError("--fractions is required");
  const std::vector<double> fractions = ParseNumberList(*fractionsText, "fractions");
  const std::uint64_t seed = ParseUnsigned(line.Value("seed").value_or("1"), "seed");
  const auto& files = line.Operands();
  if (files.size() < 3) throw UsageError("expected INPUT OUTPUT1 OUTPUT2 [OUTPUT3...]");
  if (files.size() - 1 != fractions.size()) {
    throw UsageError("--fractions gives " + std::to_string(fractions.size()) + " fractions for " +
                     std::to_string(files.size() - 1) + " output files");
  }
  const auto data = ReadInput(files[0], ReadDataSetFile);
  const auto parts = Netforge::SplitDataSet(*data, fractions, seed);
  std::vector<OutputFile> outputs;
  for (std::size_t k = 0; k < parts.size(); ++k) outputs.push_back({files[k + 1], parts[k].get()});
  WriteDataSetFiles(outputs);
}

}  // namespace

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = {
      {"import-csv", kImportCsvHelp, ImportCsv},
      {"import-fann", kImportFannHelp, ImportFann},
      {"split", kSplitHelp, Split},
  };
  return commands;
}
