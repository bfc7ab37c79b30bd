// Runs the real NetforgeEval binary on network and data set files in a fresh
// folder, standard output and standard error captured separately.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Common/NumberText.h"
#include "Common/Version.h"
#include "DataObject/Data.h"
#include "FileHandler/Filer.h"
#include "FileHandler/ParseTools.h"
#include "NeuralNets/TBasicNetwork.h"
#include "NeuralNets/TPrunedConnections.h"
#include "Support/ProgramChecks.h"
#include "Support/TestFiles.h"

namespace fs = std::filesystem;

namespace {

using TestSupport::ExampleFile;
using TestSupport::ReadAll;
using TestSupport::RunResult;
using TestSupport::UnderAddressSanitizer;
using TestSupport::WriteText;

double Sigmoid(double net) { return 1.0 / (1.0 + std::exp(-net)); }

// The network of examples/xor.wgt, worked out by hand from its weights: two
// sigmoid hidden neurons (bias weights -10 and 30, input weights 20 and -20)
// and a sigmoid output (bias weight -30, weights 20 from each hidden neuron).
double XorOutput(double a, double b) {
  const double h0 = Sigmoid(-10.0 + 20.0 * a + 20.0 * b);
  const double h1 = Sigmoid(30.0 + -20.0 * a + -20.0 * b);
  return Sigmoid(-30.0 + 20.0 * h0 + 20.0 * h1);
}

// The worked example of the network file documentation: a bias neuron, two
// linear inputs and one sigmoid output with the weights 0.5 (bias), -1.25
// and 2.
const char* const kSmallNetwork =
    "[FormatVersion = 1.0]\n"
    "[NeuralNetwork]\n[NetworkType = MLP]\n"
    "[NetworkInformation]\n[NumberOfLayers = 3]\n[InputLayer = 1]\n[OutputLayer = 2]\n"
    "[NumberOfInputs = 2]\n[NumberOfOutputs = 1]\n[BiasLayer = 0]\n[~NetworkInformation]\n"
    "[Layer = 0]\n[LayerType = Simple]\n[NumberOfNeurons = 1]\n[All ActivationFunction=bias ]\n[~Layer]\n"
    "[Layer = 1]\n[LayerType = Input]\n[NumberOfNeurons = 2]\n[All ActivationFunction=linear ]\n[~Layer]\n"
    "[Layer = 2]\n[LayerType = Gain]\n[NumberOfNeurons = 1]\n[All ActivationFunction=sigmoid ]\n"
    "[All Gain=1 ]\n[~Layer]\n"
    "[ConnectionLayer]\n[LayerFrom = 0]\n[LayerTo = 2]\n[ConnectionType = Pruneable]\n"
    "[Matrix Weights TrainableInfo ]\n0.5 T\n[~Matrix]\n[~ConnectionLayer]\n"
    "[ConnectionLayer]\n[LayerFrom = 1]\n[LayerTo = 2]\n[ConnectionType = Pruneable]\n"
    "[Matrix Weights TrainableInfo ]\n-1.25 T\n2 T\n[~Matrix]\n[~ConnectionLayer]\n"
    "[~NeuralNetwork]\n";

double SmallOutput(double a, double b) { return Sigmoid(0.5 + -1.25 * a + 2.0 * b); }

// A data set file text: the header, then |rows| as row lines.
std::string DataSetText(long rows, const std::string& counts, const std::string& lines) {
  std::string text = "[FormatVersion = 1.0]\n\n[DataSet]\n[Rows = ";
  Netforge::AppendLong(text, rows);
  return text + "]\n" + counts + "\n[Data]\n" + lines + "[~Data]\n\n[~DataSet]\n";
}

// The value after "|name| " on its own line of |out|; NaN when absent.
double FigureOf(const std::string& out, const std::string& name) {
  const std::string key = name + " ";
  for (std::size_t at = 0; at < out.size();) {
    const std::size_t end = out.find('\n', at);
    const std::string line = out.substr(at, end == std::string::npos ? std::string::npos : end - at);
    if (line.compare(0, key.size(), key) == 0) {
      double value = 0.0;
      if (Netforge::ScanDouble(line.c_str() + key.size(), value) == Netforge::ScanResult::kOk) return value;
    }
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return std::nan("");
}

// |actual| within a relative 1e-12 of |expected|: the tool and the test
// add the same terms, possibly rounded in another order.
#define EXPECT_CLOSE(actual, expected) EXPECT_NEAR((actual), (expected), 1e-12 * std::fabs(expected) + 1e-300)

struct DataSets {
  int status = -1;
  std::unique_ptr<Data> first;
  std::unique_ptr<Data> second;
};

DataSets ReadBack(const fs::path& path) {
  Data* first = nullptr;
  Data* second = nullptr;
  DataSets sets;
  sets.status = FileTools().ReadDataSet(path.c_str(), &first, &second, nullptr);
  sets.first.reset(first);
  sets.second.reset(second);
  return sets;
}

class NetforgeEvalTool : public ::testing::Test {
 protected:
  void WriteFile(const std::string& name, const std::string& text) { WriteText(dir_ / name, text); }

  // Runs the tool in the test folder with |args|. |limits| is a shell
  // command run first in the same shell, e.g. a ulimit.
  RunResult Run(const std::vector<std::string>& args, const std::string& limits = "") {
    return TestSupport::RunProgram(dir_, NETFORGE_EVAL_PATH, args, limits);
  }

  const TestSupport::TempFolder folder_;
  const fs::path dir_ = folder_.Path();
};

const double kXorRows[4][3] = {{0, 0, 0}, {0, 1, 1}, {1, 0, 1}, {1, 1, 0}};

}  // namespace

TEST_F(NetforgeEvalTool, XorExampleFiguresMatchTheNetworkWorkedOutByHand) {
  double squares = 0.0;
  double crossEntropy = 0.0;
  for (const auto& row : kXorRows) {
    const double y = XorOutput(row[0], row[1]);
    const double t = row[2];
    squares += (t - y) * (t - y);
    crossEntropy += -t * std::log(y) - std::log(1.0 - y) * (1.0 - t);
  }
  const RunResult result = Run({ExampleFile("xor.wgt"), ExampleFile("xor.dat")});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(FigureOf(result.out, "rows"), 4.0);
  EXPECT_CLOSE(FigureOf(result.out, "rmse"), std::sqrt(squares / 4.0));
  EXPECT_CLOSE(FigureOf(result.out, "cross-entropy"), crossEntropy);
  // Three lines, each value with 17 significant digits so that it reads back exactly.
  std::string expected = "rows 4\nrmse ";
  Netforge::AppendGeneral(expected, FigureOf(result.out, "rmse"), 17);
  expected += "\ncross-entropy ";
  Netforge::AppendGeneral(expected, FigureOf(result.out, "cross-entropy"), 17);
  EXPECT_EQ(result.out, expected + "\n");
}

TEST_F(NetforgeEvalTool, ResultFileHoldsTheFirstSetAndTheOutputsWithTheirErrors) {
  WriteFile("small.wgt", kSmallNetwork);
  const double rows[3][3] = {{0, 0, 1}, {1, 0.5, 0}, {-2, 3, 0.25}};
  WriteFile("small.dat", DataSetText(3, "[Inputs = 2]\n[ExpectedOutputs = 1]\n",
                                     "0 0  1\n1 0.5  0\n-2 3  0.25\n"));
  const RunResult result = Run({"small.wgt", "small.dat", "result.dat"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");

  double squares = 0.0;
  for (const auto& row : rows) {
    const double d = row[2] - SmallOutput(row[0], row[1]);
    squares += d * d;
  }
  EXPECT_CLOSE(FigureOf(result.out, "rmse"), std::sqrt(squares / 3.0));

  const std::string text = ReadAll(dir_ / "result.dat");
  EXPECT_NE(text.find("[Rows = 3]\n[Inputs = 2]\n[ExpectedOutputs = 1]\n[GeneratedOutputs = 1]\n[Error = 1]\n"),
            std::string::npos)
      << text;
  const DataSets sets = ReadBack(dir_ / "result.dat");
  ASSERT_EQ(sets.status, SUCCESS);
  ASSERT_TRUE(sets.first && sets.second);
  ASSERT_EQ(sets.first->MbrNdxDataRows, 3);
  ASSERT_EQ(sets.second->MbrNdxDataRows, 3);
  EXPECT_EQ(sets.second->MbrNdxInputs, 1);
  EXPECT_EQ(sets.second->MbrNdxOutputs, 1);
  for (long r = 0; r < 3; ++r) {
    for (long c = 0; c < 2; ++c) {
      double value = 0.0;
      sets.first->GetInputDatum(r, c, &value);
      EXPECT_EQ(value, rows[r][c]);
    }
    double expected = 0.0, generated = 0.0, error = 0.0;
    sets.first->GetOutputDatum(r, 0, &expected);
    sets.second->GetInputDatum(r, 0, &generated);
    sets.second->GetOutputDatum(r, 0, &error);
    const double y = SmallOutput(rows[r][0], rows[r][1]);
    EXPECT_EQ(expected, rows[r][2]);
    // The file keeps 15 significant digits.
    EXPECT_NEAR(generated, y, 1e-14);
    EXPECT_NEAR(error, rows[r][2] - y, 1e-14);
  }
}

TEST_F(NetforgeEvalTool, AnEarlierSecondDataSetIsReplaced) {
  const RunResult result = Run({ExampleFile("xor.wgt"), ExampleFile("xor-recall.dat"), "result.dat"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(FigureOf(result.out, "rows"), 4.0);
  const DataSets sets = ReadBack(dir_ / "result.dat");
  ASSERT_EQ(sets.status, SUCCESS);
  ASSERT_TRUE(sets.second);
  for (long r = 0; r < 4; ++r) {
    double generated = 0.0;
    sets.second->GetInputDatum(r, 0, &generated);
    EXPECT_NEAR(generated, XorOutput(kXorRows[r][0], kXorRows[r][1]), 1e-14);
  }
}

TEST_F(NetforgeEvalTool, LabelledRowsGetOutputsButNoErrorFigures) {
  const RunResult result = Run({ExampleFile("xor.wgt"), ExampleFile("animals.dat"), "result.dat"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "rows 3\n");
  EXPECT_EQ(result.err, "NetforgeEval: no error figures for labelled data\n");

  const DataSets sets = ReadBack(dir_ / "result.dat");
  ASSERT_EQ(sets.status, SUCCESS);
  ASSERT_TRUE(sets.first && sets.second);
  EXPECT_TRUE(sets.first->MbrBoolLabels);
  EXPECT_EQ(sets.second->MbrNdxInputs, 1);
  EXPECT_EQ(sets.second->MbrNdxOutputs, 0);
  TLabelList* labels = nullptr;
  sets.first->GetLabels(1, &labels);
  ASSERT_NE(labels, nullptr);
  ASSERT_EQ(labels->count, 2);
  EXPECT_EQ(std::string(labels->labels[1].name), "mammal");
  const double inputs[3][2] = {{4, 0.5}, {2, 1.25}, {0, 2}};
  for (long r = 0; r < 3; ++r) {
    double generated = 0.0;
    sets.second->GetInputDatum(r, 0, &generated);
    EXPECT_NEAR(generated, XorOutput(inputs[r][0], inputs[r][1]), 1e-14);
  }

  // Rows without expected outputs are run too.
  WriteFile("inputs.dat", DataSetText(1, "[Inputs = 2]\n", "1 1\n"));
  const RunResult bare = Run({ExampleFile("xor.wgt"), "inputs.dat"});
  EXPECT_EQ(bare.status, 0);
  EXPECT_EQ(bare.out, "rows 1\n");
  EXPECT_EQ(bare.err, "NetforgeEval: no error figures: the data set has no expected outputs\n");
}

TEST_F(NetforgeEvalTool, CountsThatDoNotFitTheNetworkAreNamed) {
  WriteFile("three.dat", DataSetText(1, "[Inputs = 3]\n[ExpectedOutputs = 1]\n", "1 2 3  1\n"));
  EXPECT_FAILS_WITH(Run({ExampleFile("xor.wgt"), "three.dat"}),
                    "three.dat: the data set has 3 inputs per row, but the network's input layer has 2 neurons\n");
  WriteFile("two.dat", DataSetText(1, "[Inputs = 2]\n[ExpectedOutputs = 2]\n", "1 2  1 0\n"));
  EXPECT_FAILS_WITH(Run({ExampleFile("xor.wgt"), "two.dat", "result.dat"}),
                    "two.dat: the data set has 2 expected outputs per row, but the network's output layer has "
                    "1 neuron\n");
  EXPECT_FALSE(fs::exists(dir_ / "result.dat"));
  WriteFile("empty.dat", DataSetText(1, "[Error = 1]\n", "  0\n"));
  EXPECT_FAILS_WITH(Run({ExampleFile("xor.wgt"), "empty.dat"}),
                    "empty.dat: the file holds no first data set (no inputs and no expected outputs)\n");
}

TEST_F(NetforgeEvalTool, FileErrorsNameTheirPlace) {
  // A malformed network file: the place of the statement that is wrong.
  std::string network = ReadAll(ExampleFile("xor.wgt"));
  const std::size_t at = network.find("[NumberOfNeurons = 2]");
  ASSERT_NE(at, std::string::npos);
  network.replace(at, 21, "  [NumberOfNeurons = two]");
  WriteFile("bad.wgt", network);
  const long line = 1 + static_cast<long>(std::count(network.begin(), network.begin() + static_cast<long>(at), '\n'));
  EXPECT_FAILS_WITH(Run({"bad.wgt", ExampleFile("xor.dat")}),
                    "bad.wgt:" + std::to_string(line) + ":3: integer-expected\n");

  // A bad value in a row that is read in a later run of rows.
  std::string lines;
  for (int row = 0; row < 5000; ++row) lines += row == 4500 ? "0 1  x\n" : "0 1  1\n";
  const std::string text = DataSetText(5000, "[Inputs = 2]\n[ExpectedOutputs = 1]\n", lines);
  WriteFile("big.dat", text);
  const long badLine = 1 + static_cast<long>(std::count(text.begin(), text.begin() + static_cast<long>(text.find("x\n")), '\n'));
  EXPECT_FAILS_WITH(Run({ExampleFile("xor.wgt"), "big.dat", "result.dat"}),
                    "big.dat:" + std::to_string(badLine) + ":6: number-expected\n");
  EXPECT_FALSE(fs::exists(dir_ / "result.dat"));  // a failed run leaves no half-written result

  // More rows than the header announces: the first one left over.
  WriteFile("long.dat", DataSetText(1, "[Inputs = 2]\n[ExpectedOutputs = 1]\n", "0 0  0\n1 1  0\n"));
  EXPECT_FAILS_WITH(Run({ExampleFile("xor.wgt"), "long.dat"}), "long.dat:10:1: End Tag expected\n");
  // The end tags are checked after the last run too.
  WriteFile("open.dat", "[DataSet]\n[Rows = 1]\n[Inputs = 2]\n[ExpectedOutputs = 1]\n[Data]\n0 0  0\n[~Data]\n");
  EXPECT_FAILS_WITH(Run({ExampleFile("xor.wgt"), "open.dat"}), "open.dat:8:1: Unexpected end of file\n");
  // ... and their place is exact after many runs: a row too many after
  // 5000 rows (line 5009 holds row 5000, counted from 0).
  std::string many;
  for (int row = 0; row < 5001; ++row) many += "0 1  1\n";
  WriteFile("many.dat", DataSetText(5000, "[Inputs = 2]\n[ExpectedOutputs = 1]\n", many));
  EXPECT_FAILS_WITH(Run({ExampleFile("xor.wgt"), "many.dat"}), "many.dat:5009:1: End Tag expected\n");
}

// Standard output carries only the figures: the network reader's echo of a
// word it does not know goes to standard error.
TEST_F(NetforgeEvalTool, TheLibrarysConsoleTextsGoToStandardError) {
  std::string network = kSmallNetwork;
  network.replace(network.find("[Matrix Weights TrainableInfo ]\n0.5 T\n[~Matrix]"), 47,
                  "[WeightList]\n[From = 0 To = 0 Weight = 0.5 Frozen]\n[~WeightList]");
  WriteFile("frozen.wgt", network);
  WriteFile("small.dat", DataSetText(1, "[Inputs = 2]\n[ExpectedOutputs = 1]\n", "0 0  0\n"));
  const RunResult r = Run({"frozen.wgt", "small.dat"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err.substr(0, 7), "Frozen\n") << r.err;
  EXPECT_NE(r.err.find("Unknown keyword in weights list"), std::string::npos) << r.err;
}

TEST_F(NetforgeEvalTool, HeaderStatusesGetClearMessages) {
  EXPECT_FAILS_WITH(Run({"missing.wgt", ExampleFile("xor.dat")}), "missing.wgt: cannot open the file\n");
  EXPECT_FAILS_WITH(Run({ExampleFile("xor.wgt"), "missing.dat"}), "missing.dat: cannot open the file\n");
  WriteFile("order.dat", DataSetText(1, "[ExpectedOutputs = 1]\n[Inputs = 2]\n", "0 0  0\n"));
  EXPECT_FAILS_WITH(Run({ExampleFile("xor.wgt"), "order.dat"}),
                    "order.dat: unacceptable data set header (an unknown, repeated or misplaced count, a bracket "
                    "with more than one count, or a negative count)\n");
  WriteFile("norows.dat", "[DataSet]\n[Inputs = 2]\n[Data]\n[~Data]\n[~DataSet]\n");
  EXPECT_FAILS_WITH(Run({ExampleFile("xor.wgt"), "norows.dat"}), "norows.dat: the data set header gives no \"Rows\"\n");
  EXPECT_FAILS_WITH(Run({ExampleFile("xor.wgt"), ExampleFile("xor.wgt")}), std::string(ExampleFile("xor.wgt")) +
                                                                      ":3:1: [DATASET] expected\n");
  // A network file given as the data set, a result in a missing folder, a
  // result that would overwrite an input.
  EXPECT_FAILS_WITH(Run({ExampleFile("xor.wgt"), ExampleFile("xor.dat"), "no/such/result.dat"}),
                    "no/such/result.dat: cannot write the file\n");
  WriteFile("copy.dat", ReadAll(ExampleFile("xor.dat")));
  EXPECT_FAILS_WITH(Run({ExampleFile("xor.wgt"), "copy.dat", "./copy.dat"}),
                    "./copy.dat: the result file must differ from the network and data set files\n");
  EXPECT_EQ(ReadAll(dir_ / "copy.dat"), ReadAll(ExampleFile("xor.dat")));
}

TEST_F(NetforgeEvalTool, HostileFilesAreRefusedWithoutACrash) {
  // Counts that promise far more rows than the file holds: refused at the
  // [Data] tag, before any row is read or memory taken for one.
  WriteFile("huge.dat", DataSetText(2000000000, "[Inputs = 2]\n[ExpectedOutputs = 1]\n", "0 0  0\n"));
  EXPECT_FAILS_WITH(Run({ExampleFile("xor.wgt"), "huge.dat"}),
                    "huge.dat:8:1: Data set header announces more rows than the file holds\n");
  WriteFile("long.dat", DataSetText(3000000000L, "[Inputs = 2]\n[ExpectedOutputs = 1]\n", "0 0  0\n"));
  EXPECT_FAILS_WITH(Run({ExampleFile("xor.wgt"), "long.dat"}), "long.dat:4:1: integer-expected\n");
  // A folder given as either file.
  fs::create_directory(dir_ / "folder");
  const RunResult folder = Run({"folder", ExampleFile("xor.dat")});
  EXPECT_EQ(folder.status, 1);
  EXPECT_EQ(folder.err.compare(0, 7, "folder:"), 0) << folder.err;
  const RunResult data = Run({ExampleFile("xor.wgt"), "folder"});
  EXPECT_EQ(data.status, 1);
  EXPECT_EQ(data.err.compare(0, 7, "folder:"), 0) << data.err;
  // Neurons with the functions that stand for "no function" would stop the
  // program when recalled.
  std::string network = kSmallNetwork;
  network.replace(network.find("=sigmoid"), 8, "=error");
  WriteFile("error.wgt", network);
  WriteFile("small.dat", DataSetText(1, "[Inputs = 2]\n[ExpectedOutputs = 1]\n", "0 0  0\n"));
  EXPECT_FAILS_WITH(Run({"error.wgt", "small.dat"}),
                    "error.wgt: neuron 0 of layer 2 has the activation function \"error\", which cannot be "
                    "recalled\n");
  // A label list where numbers are due.
  WriteFile("labels.dat", DataSetText(1, "[Inputs = 2]\n[ExpectedOutputs = 1]\n", "0 [a]  0\n"));
  EXPECT_FAILS_WITH(Run({ExampleFile("xor.wgt"), "labels.dat"}), "labels.dat:9:3: Token (number) expected\n");
}

TEST_F(NetforgeEvalTool, VersionIsTheLibrarys) {
  const RunResult version = Run({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.err, "");
  EXPECT_EQ(version.out, std::string("NetforgeEval ") + NETFORGE_VERSION_STRING + "\n");
  EXPECT_EQ(Netforge::LibraryVersion(), std::string(NETFORGE_VERSION_STRING));
}

TEST_F(NetforgeEvalTool, HelpAndUsage) {
  const RunResult help = Run({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.err, "");
  EXPECT_EQ(help.out.compare(0, 46, "Usage: NetforgeEval NETWORK DATASET [RESULT]\n\n"), 0) << help.out;
  EXPECT_NE(help.out.find("cross-entropy X"), std::string::npos);
  EXPECT_EQ(Run({"-h"}).out, help.out);
  EXPECT_FAILS_WITH(Run({}), "Usage: NetforgeEval NETWORK DATASET [RESULT]\n");
  EXPECT_FAILS_WITH(Run({"a", "b", "c", "d"}), "Usage: NetforgeEval NETWORK DATASET [RESULT]\n");
  EXPECT_FAILS_WITH(Run({ExampleFile("xor.wgt"), ExampleFile("xor.dat"), ""}),
                    "NetforgeEval: the result file name is empty\n");
}

TEST_F(NetforgeEvalTool, VanishedAndUnwritableFilesAreNamed) {
  // Links whose files are gone, for either input.
  fs::create_symlink(dir_ / "gone.wgt", dir_ / "net.wgt");
  fs::create_symlink(dir_ / "gone.dat", dir_ / "data.dat");
  EXPECT_FAILS_WITH(Run({"net.wgt", ExampleFile("xor.dat")}), "net.wgt: cannot open the file\n");
  EXPECT_FAILS_WITH(Run({ExampleFile("xor.wgt"), "data.dat"}), "data.dat: cannot open the file\n");
  // Result files nobody can write, root included: under a regular file, a
  // folder, a full disk. No figures are printed for a run that failed.
  WriteFile("plain.txt", "keep me");
  EXPECT_FAILS_WITH(Run({ExampleFile("xor.wgt"), ExampleFile("xor.dat"), "plain.txt/result.dat"}),
                    "plain.txt/result.dat: cannot write the file\n");
  fs::create_directory(dir_ / "folder");
  EXPECT_FAILS_WITH(Run({ExampleFile("xor.wgt"), ExampleFile("xor.dat"), "folder"}), "folder: cannot write the file\n");
  EXPECT_EQ(ReadAll(dir_ / "plain.txt"), "keep me");
  if (fs::exists("/dev/full")) {
    EXPECT_FAILS_WITH(Run({ExampleFile("xor.wgt"), ExampleFile("xor.dat"), "/dev/full"}),
                      "/dev/full: cannot write the file\n");
  }
}

TEST_F(NetforgeEvalTool, NetworkLargerThanTheMemoryEndsWithAMessage) {
  if (UnderAddressSanitizer()) GTEST_SKIP() << "the sanitizer needs more address space than the limit allows";
  // About 1 MiB of file (mostly a comment) may ask for 128 MiB + 64 bytes per
  // byte of file: two layers of 3700 neurons joined by a block described
  // sparsely, about 9 bytes for each of its 13.7 million possible
  // connections. Within the reader's budget, but not within the 96 MiB of
  // address space the run gets.
  std::string network =
      "[FormatVersion = 1.0]\n[NeuralNetwork]\n[NetworkType = Basic]\n"
      "[NetworkInformation]\n[NumberOfLayers = 2]\n[InputLayer = 0]\n[OutputLayer = 1]\n"
      "[NumberOfInputs = 3700]\n[NumberOfOutputs = 3700]\n[~NetworkInformation]\n"
      "[Layer = 0]\n[LayerType = Input]\n[NumberOfNeurons = 3700]\n[All ActivationFunction=linear ]\n[~Layer]\n"
      "[Layer = 1]\n[LayerType = Simple]\n[NumberOfNeurons = 3700]\n[All ActivationFunction=sigmoid ]\n"
      "[~Layer]\n";
  network += "/* " + std::string(std::size_t{1} << 20, 'x') + " */\n";
  network +=
      "[ConnectionLayer]\n[LayerFrom = 0]\n[LayerTo = 1]\n[ConnectionType = Pruneable]\n"
      "[WeightList]\n[From=0 To=0 Weight=0.25 ]\n[~WeightList]\n[~ConnectionLayer]\n[~NeuralNetwork]\n";
  WriteFile("big.wgt", network);
  WriteFile("small.dat", DataSetText(1, "[Inputs = 2]\n[ExpectedOutputs = 1]\n", "0 0  0\n"));
  // Without the limit the file is read; the data set does not fit it.
  const RunResult unlimited = Run({"big.wgt", "small.dat"});
  EXPECT_EQ(unlimited.status, 1);
  EXPECT_EQ(unlimited.err.find("not enough memory"), std::string::npos) << unlimited.err;
  EXPECT_FAILS_WITH(Run({"big.wgt", "small.dat"}, "ulimit -v 98304"), "NetforgeEval: not enough memory\n");
}

// A data row whose number touches a byte above 0x7F ("−1" with a Unicode
// minus, "1é") is refused at its place rather than read as another number.
TEST_F(NetforgeEvalTool, NumbersNextToNonAsciiBytesAreRefusedAtTheirPlace) {
  WriteFile("minus.dat", DataSetText(2, "[Inputs = 2]\n[ExpectedOutputs = 1]\n", "0 0  0\n0 \xE2\x88\x92" "1  1\n"));
  EXPECT_FAILS_WITH(Run({ExampleFile("xor.wgt"), "minus.dat"}), "minus.dat:10:6: Non-ASCII byte next to a number\n");
  WriteFile("accent.dat", DataSetText(1, "[Inputs = 2]\n[ExpectedOutputs = 1]\n", "1\xC3\xA9 0  1\n"));
  EXPECT_FAILS_WITH(Run({ExampleFile("xor.wgt"), "accent.dat"}), "accent.dat:9:1: Non-ASCII byte next to a number\n");
  // In a comment such bytes are nothing.
  WriteFile("comment.dat", DataSetText(1, "[Inputs = 2]\n[ExpectedOutputs = 1]\n", "/* \xE2\x88\x92" "1 */ 0 1  1\n"));
  EXPECT_EQ(Run({ExampleFile("xor.wgt"), "comment.dat"}).status, 0);
}

// A run that fails part way through the rows leaves an earlier result file
// as it was, and no file of its own; a run that succeeds replaces it.
TEST_F(NetforgeEvalTool, FailedRunLeavesTheEarlierResultFile) {
  WriteFile("result.dat", "an earlier result\n");
  fs::permissions(dir_ / "result.dat", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  std::string lines;
  for (int row = 0; row < 5000; ++row) lines += row == 4500 ? "0 1  x\n" : "0 1  1\n";
  WriteFile("big.dat", DataSetText(5000, "[Inputs = 2]\n[ExpectedOutputs = 1]\n", lines));
  const RunResult failed = Run({ExampleFile("xor.wgt"), "big.dat", "result.dat"});
  EXPECT_EQ(failed.status, 1);
  EXPECT_NE(failed.err.find("number-expected"), std::string::npos) << failed.err;
  EXPECT_EQ(ReadAll(dir_ / "result.dat"), "an earlier result\n");
  auto names = [this] { return TestSupport::FileNamesIn(dir_); };
  EXPECT_EQ(names(), (std::vector<std::string>{"big.dat", "result.dat"}));

  // Through a link, the file it names is replaced and the link stays.
  fs::create_symlink("result.dat", dir_ / "link.dat");
  const RunResult done = Run({ExampleFile("xor.wgt"), ExampleFile("xor.dat"), "link.dat"});
  EXPECT_EQ(done.status, 0) << done.err;
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.dat"));
  EXPECT_EQ(ReadBack(dir_ / "result.dat").status, SUCCESS);
  EXPECT_EQ(fs::status(dir_ / "result.dat").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(names(), (std::vector<std::string>{"big.dat", "link.dat", "result.dat"}));
}

// The deepest network the generator makes (4096 layers of one neuron and a
// bias layer, 2.5 MB of file) and a block of 3000 x 3000 possible
// connections with 300 present both load in NetforgeEval and write back to
// the same bytes.
TEST_F(NetforgeEvalTool, DeepAndSparseNetworksLoadAndWriteBack) {
  if (TestSupport::UnderValgrind()) GTEST_SKIP() << "17 million empty blocks take minutes under Valgrind";
  std::string sizes;
  for (int k = 0; k < 4096; ++k) sizes += " 1";
  WriteFile("deep.par", "Layers = 4096\nLayerSize =" + sizes + "\nBias = true\nSeed = 1\nFileName = deep.wgt\n");
  const RunResult generated = TestSupport::RunProgram(dir_, NETFORGE_TOOL_PATH, {"deep.par"});
  ASSERT_EQ(generated.status, 0) << generated.err;
  WriteFile("one.dat", DataSetText(1, "[Inputs = 1]\n[ExpectedOutputs = 1]\n", "0.5  1\n"));
  const RunResult deep = Run({"deep.wgt", "one.dat", "deep-result.dat"});
  EXPECT_EQ(deep.status, 0) << deep.err;
  EXPECT_EQ(deep.out.substr(0, 7), "rows 1\n");

  // A sparse block, as the library's writer lists it.
  TBasicNetwork sparse(2);
  sparse.SetLayer(0, new TSimpleInputLayer(&sparse, 0, 3000));
  sparse.SetLayer(1, new TSimpleLayer(&sparse, 1, 3000));
  sparse.inLayer = 0;
  sparse.layers[1]->SetActivationFunction(sparse.fnRegistry->GetFunction("sigmoid"));
  sparse.InstallConnections(new TPrunedConnections(&sparse, 0, 1));
  auto* block = static_cast<TPrunedConnections*>(sparse.priv_conns_index[1][0]);
  std::fill(block->array_masks.begin(), block->array_masks.end(), static_cast<unsigned char>(0));
  for (int to = 0; to < 3000; to += 10) {
    block->AddConnection((to * 7) % 3000, to);
    block->Weight((to * 7) % 3000, to) = 0.001 * to;
  }
  FileTools tools;
  tools.SaveNetwork((dir_ / "sparse.wgt").c_str(), &sparse, nullptr);
  std::string row;
  for (int i = 0; i < 3000; ++i) row += i % 2 ? "1 " : "0 ";
  for (int i = 0; i < 3000; ++i) row += " 0.5";
  WriteFile("wide.dat", DataSetText(1, "[Inputs = 3000]\n[ExpectedOutputs = 3000]\n", row + "\n"));
  const RunResult wide = Run({"sparse.wgt", "wide.dat"});
  EXPECT_EQ(wide.status, 0) << wide.err;
  EXPECT_EQ(wide.out.substr(0, 7), "rows 1\n");

  for (const char* name : {"deep.wgt", "sparse.wgt"}) {
    const std::string path = (dir_ / name).string();
    std::unique_ptr<TBasicNetwork> loaded(tools.LoadNetwork(path.c_str(), nullptr));
    const std::string again = (dir_ / "again.wgt").string();
    tools.SaveNetwork(again.c_str(), loaded.get(), nullptr);
    EXPECT_TRUE(ReadAll(again) == ReadAll(path)) << name;
  }
}
