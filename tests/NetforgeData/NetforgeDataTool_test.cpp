// Runs the real NetforgeData binary on files in a fresh folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "Support/TestFiles.h"

namespace fs = std::filesystem;

namespace {

using TestSupport::FileNamesIn;
using TestSupport::ReadAll;
using TestSupport::RunResult;
using TestSupport::TempFolder;
using TestSupport::WriteText;

RunResult RunTool(const TempFolder& folder, const std::vector<std::string>& args) {
  return TestSupport::RunProgram(folder.Path(), NETFORGE_DATA_PATH, args);
}


std::string DataSetFile(const std::string& counts, const std::string& rows) {
  return "[FormatVersion = 1.0]\n\n[DataSet]\n" + counts + "[GeneratedOutputs = 0]\n[Error = 0]\n\n[Data]\n" + rows +
         "[~Data]\n\n[~DataSet]\n";
}

TEST(NetforgeData, ImportsCsvWithExactNumbers) {
  TempFolder folder;
  WriteText(folder.File("iris.csv"),
            "id,sepal length,sepal width,class\n1,5.1,0.30000000000000004,0\n2,-0.0,1e-300,1\n");
  const RunResult run = RunTool(folder, {"import-csv", "iris.csv", "--inputs=sepal length,3", "--outputs", "class",
                                     "iris.dat"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(ReadAll(folder.File("iris.dat")),
            DataSetFile("[Rows = 2]\n[Inputs = 2]\n[ExpectedOutputs = 1]\n",
                        "5.1 0.30000000000000004   0 \n-0 1e-300   1 \n"));
}

TEST(NetforgeData, ImportsFannData) {
  TempFolder folder;
  WriteText(folder.File("xor.data"), "4 2 1\n-1 -1\n-1\n-1 1\n1\n1 -1\n1\n1 1\n-1\n");
  const RunResult run = RunTool(folder, {"import-fann", "xor.data", "xor.dat"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadAll(folder.File("xor.dat")), DataSetFile("[Rows = 4]\n[Inputs = 2]\n[ExpectedOutputs = 1]\n",
                                                         "-1 -1   -1 \n-1 1   1 \n1 -1   1 \n1 1   -1 \n"));
}

TEST(NetforgeData, SplitsReproduciblyIntoAllRows) {
  TempFolder folder;
  std::string csv;
  for (int k = 0; k < 20; ++k) csv += std::to_string(k) + "," + std::to_string(k % 2) + "\n";
  WriteText(folder.File("all.csv"), csv);
  ASSERT_EQ(RunTool(folder, {"import-csv", "all.csv", "all.dat"}).status, 0);
  const std::vector<std::string> split = {"split", "--fractions", "0.5,0.25,0.25", "--seed", "11", "all.dat",
                                          "train.dat", "valid.dat", "test.dat"};
  const RunResult run = RunTool(folder, split);
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string train = ReadAll(folder.File("train.dat"));
  EXPECT_NE(train.find("[Rows = 10]"), std::string::npos);
  EXPECT_NE(ReadAll(folder.File("valid.dat")).find("[Rows = 5]"), std::string::npos);
  EXPECT_NE(ReadAll(folder.File("test.dat")).find("[Rows = 5]"), std::string::npos);
  ASSERT_EQ(RunTool(folder, split).status, 0);
  EXPECT_EQ(ReadAll(folder.File("train.dat")), train);
}

TEST(NetforgeData, BadInputIsReportedAndNothingIsWritten) {
  TempFolder folder;
  WriteText(folder.File("bad.csv"), "x,y\n1,2\n3,4,5\n");
  WriteText(folder.File("comma.csv"), "x;y\n1,5;2\n");
  WriteText(folder.File("bad.data"), "2 1 1\n1\n2\n3\n");
  WriteText(folder.File("good.data"), "1 1 1\n1\n2\n");
  WriteText(folder.File("out.dat"), "kept");
  const struct {
    std::vector<std::string> args;
    std::string error;
  } cases[] = {
      {{"import-csv", "bad.csv", "out.dat"}, "bad.csv:3:1: a record of 3 cells where the first has 2\n"},
      {{"import-csv", "--delimiter", ";", "comma.csv", "out.dat"},
       "comma.csv:2:1: column 1 (x): \"1,5\" has a decimal comma: write 1.5\n"},
      {{"import-csv", "--inputs", "7", "bad.csv", "out.dat"},
       "NetforgeData import-csv: column list: there is no column 7 (the table has 2 columns)\n"},
      {{"import-csv", "missing.csv", "out.dat"}, "missing.csv: cannot open missing.csv for reading\n"},
      {{"import-fann", "bad.data", "out.dat"}, "bad.data:5:1: the file ends in row 2 of 2\n"},
      {{"import-csv", "--header", "--no-header", "bad.csv", "out.dat"},
       "NetforgeData import-csv: --header and --no-header exclude each other (see NetforgeData import-csv "
       "--help)\n"},
      {{"import-csv", "--colour", "bad.csv", "out.dat"},
       "NetforgeData import-csv: unknown option --colour (see NetforgeData import-csv --help)\n"},
      {{"import-csv", "bad.csv"}, "NetforgeData import-csv: expected CSV OUTPUT (see NetforgeData import-csv --help)\n"},
      {{"import-fann", "good.data", "."}, "NetforgeData import-fann: .: is a folder\n"},
      {{"import-fann", "good.data", "missing/out.dat"}, "NetforgeData import-fann: missing/out.dat: cannot write the file\n"},
      {{"split", "--fractions", "0.5,0.6", "out.dat", "a.dat", "b.dat"}, "out.dat:1:1: [DATASET] expected\n"},
      {{"split", "--fractions", "0.5,0.5", "--seed", "-1", "out.dat", "a.dat", "b.dat"},
       "NetforgeData split: --seed: \"-1\" is not a whole number of 0 or more (see NetforgeData split --help)\n"},
      {{"split", "--fractions", "0.5", "out.dat", "a.dat", "b.dat"},
       "NetforgeData split: --fractions gives 1 fractions for 2 output files (see NetforgeData split --help)\n"},
      {{"frobnicate"}, "NetforgeData: unknown command \"frobnicate\" (see NetforgeData --help)\n"},
      {{}, "Usage: NetforgeData COMMAND [OPTIONS] ARGUMENTS (see NetforgeData --help)\n"},
  };
  for (const auto& c : cases) {
    const RunResult run = RunTool(folder, c.args);
    EXPECT_EQ(run.status, 1) << c.error;
    EXPECT_EQ(run.err, c.error);
    EXPECT_EQ(run.out, "");
  }
  EXPECT_EQ(ReadAll(folder.File("out.dat")), "kept");
  EXPECT_EQ(FileNamesIn(folder.Path()), (std::vector<std::string>{"bad.csv", "bad.data", "comma.csv", "good.data", "out.dat"}));
}

TEST(NetforgeData, SplitRefusesBadFractionsBeforeWritingAnyPart) {
  TempFolder folder;
  WriteText(folder.File("all.csv"), "1,2\n3,4\n");
  ASSERT_EQ(RunTool(folder, {"import-csv", "all.csv", "all.dat"}).status, 0);
  const RunResult run = RunTool(folder, {"split", "--fractions=0.5,0.6", "all.dat", "a.dat", "b.dat"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "NetforgeData split: the fractions must add up to 1\n");
  const RunResult same = RunTool(folder, {"split", "--fractions=0.5,0.5", "all.dat", "a.dat", "./a.dat"});
  EXPECT_EQ(same.err, "NetforgeData split: ./a.dat: named as two outputs\n");
  EXPECT_EQ(FileNamesIn(folder.Path()), (std::vector<std::string>{"all.csv", "all.dat"}));
}

TEST(NetforgeData, HelpDescribesEveryCommand) {
  TempFolder folder;
  const RunResult help = RunTool(folder, {"--help"});
  EXPECT_EQ(help.status, 0);
  for (const char* command : {"import-csv", "import-fann", "split"}) {
    EXPECT_NE(help.out.find(command), std::string::npos);
    const RunResult own = RunTool(folder, {command, "--help"});
    EXPECT_EQ(own.status, 0);
    EXPECT_EQ(own.out.rfind(std::string("Usage: NetforgeData ") + command, 0), 0u) << own.out;
  }
}

}  // namespace
