// Runs the real NetforgeTrain binary on network and data set files in a fresh
// folder: results that load, history and plot, seeds, refusals that leave
// nothing behind, and interruption by a signal.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "FileHandler/ParseTools.h"
#include "NeuralNets/TMLPNetwork.h"
#include "Support/TestFiles.h"

namespace fs = std::filesystem;

namespace {

using TestSupport::ReadAll;
using TestSupport::RunResult;
using TestSupport::TempFolder;
using TestSupport::WriteText;

RunResult Train(const TempFolder& folder, const std::vector<std::string>& args) {
  return TestSupport::RunProgram(folder.Path(), NETFORGE_TRAIN_PATH, args);
}

// A sigmoid multilayer perceptron with random weights, written to |file|.
void WriteNetwork(const std::string& file, std::vector<int> sizes, unsigned seed) {
  TMLPNetwork network(static_cast<int>(sizes.size()), sizes.data(), true);
  std::srand(seed);
  network.Randomize(-0.5, 0.5);
  FileTools().SaveNetwork(file.c_str(), &network, nullptr);
}

// A data set file of |rows| rows: |inputs| inputs and |outputs| expected
// outputs in (0.1, 0.9), a smooth function of the inputs.
std::string DataSetText(int rows, int inputs, int outputs) {
  std::string text = "[DataSet]\n[Rows = " + std::to_string(rows) + "]\n[Inputs = " + std::to_string(inputs) +
                     "]\n[ExpectedOutputs = " + std::to_string(outputs) + "]\n[~DataSet]\n[Data]\n";
  text = "[FormatVersion = 1.0]\n[DataSet]\n[Rows = " + std::to_string(rows) + "]\n[Inputs = " +
         std::to_string(inputs) + "]\n[ExpectedOutputs = " + std::to_string(outputs) +
         "]\n[GeneratedOutputs = 0]\n[Error = 0]\n[Data]\n";
  for (int r = 0; r < rows; ++r) {
    double sum = 0.0;
    for (int i = 0; i < inputs; ++i) {
      const double x = std::sin(0.37 * r + 1.7 * i);
      sum += x;
      text += std::to_string(x) + ' ';
    }
    for (int o = 0; o < outputs; ++o) text += std::to_string(0.5 + 0.4 * std::tanh(sum - 0.3 * o)) + ' ';
    text += '\n';
  }
  return text + "[~Data]\n[~DataSet]\n";
}

// Files left behind whose names start with "out.wgt.tmp".
int TemporaryFiles(const TempFolder& folder) {
  int count = 0;
  for (const auto& entry : fs::directory_iterator(folder.Path())) {
    count += entry.path().filename().string().find(".tmp-") != std::string::npos;
  }
  return count;
}

bool Loads(const std::string& file) {
  try {
    std::unique_ptr<TBasicNetwork> network(FileTools().LoadNetwork(file.c_str(), nullptr));
    return network != nullptr;
  } catch (const FileTools::Error&) {
    return false;
  }
}

// Whether every tag of |xml| is closed in order (a small check of
// well-formedness, enough for the writer's own SVG).
bool TagsBalance(const std::string& xml) {
  std::vector<std::string> open;
  const std::regex tag(R"(<(/?)([A-Za-z][A-Za-z0-9]*)[^>]*?(/?)>)");
  for (auto it = std::sregex_iterator(xml.begin(), xml.end(), tag); it != std::sregex_iterator(); ++it) {
    const std::smatch& m = *it;
    if (m[3] == "/") continue;
    if (m[1] == "/") {
      if (open.empty() || open.back() != m[2]) return false;
      open.pop_back();
    } else {
      open.push_back(m[2]);
    }
  }
  return open.empty() && xml.rfind("<?xml", 0) == 0;
}

// The number of points in the polyline of class |name|.
int PolylinePoints(const std::string& svg, const std::string& name) {
  const std::size_t at = svg.find("<polyline class=\"" + name + "\"");
  if (at == std::string::npos) return -1;
  const std::size_t points = svg.find("points=\"", at) + 8;
  const std::string list = svg.substr(points, svg.find('"', points) - points);
  int count = 0;
  for (std::size_t i = 0; i < list.size(); ++i) count += list[i] == ',';
  return count;
}

class NetforgeTrainTool : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteNetwork(folder.File("net.wgt"), {3, 6, 2}, 1);
    WriteText(folder.File("train.dat"), DataSetText(40, 3, 2));
    WriteText(folder.File("valid.dat"), DataSetText(15, 3, 2));
  }
  TempFolder folder;
};

TEST_F(NetforgeTrainTool, TrainsWithHistoryAndPlotOnePointPerEpoch) {
  const RunResult run = Train(folder, {"--epochs", "25", "--report", "5", "--validation", "valid.dat", "--history",
                                       "h.csv", "--plot", "p.svg", "net.wgt", "train.dat", "out.wgt"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(Loads(folder.File("out.wgt")));
  EXPECT_NE(run.err.find("epoch 5/25  training "), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("trained 25 epochs"), std::string::npos) << run.err;
  EXPECT_TRUE(run.out.empty());

  const std::string csv = ReadAll(folder.File("h.csv"));
  EXPECT_EQ(csv.rfind("epoch,training_error,validation_error,seconds\n1,", 0), 0u) << csv;
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 26);
  EXPECT_NE(csv.find("\n25,"), std::string::npos);
  EXPECT_TRUE(std::regex_search(csv, std::regex(R"(\n7,[0-9.e-]+,[0-9.e-]+,[0-9]+\.[0-9]{6}\n)")));

  const std::string svg = ReadAll(folder.File("p.svg"));
  EXPECT_TRUE(TagsBalance(svg)) << svg;
  EXPECT_EQ(PolylinePoints(svg, "training"), 25);
  EXPECT_EQ(PolylinePoints(svg, "validation"), 25);
  EXPECT_NE(svg.find("class=\"best\""), std::string::npos);
  EXPECT_EQ(TemporaryFiles(folder), 0);

  // The network trained is better than the one given, by NetforgeEval.
  auto rmse = [&](const char* network) {
    const RunResult eval = TestSupport::RunProgram(folder.Path(), NETFORGE_EVAL_PATH, {network, "valid.dat"});
    std::smatch m;
    EXPECT_TRUE(std::regex_search(eval.out, m, std::regex(R"(rmse ([0-9.e-]+))"))) << eval.out << eval.err;
    return std::stod(m[1]);
  };
  EXPECT_LT(rmse("out.wgt"), rmse("net.wgt"));
}

TEST_F(NetforgeTrainTool, SameSeedGivesTheSameFile) {
  for (const char* algorithm : {"incremental", "batch", "irprop-", "irprop+", "quickprop", "adam"}) {
    auto run = [&](const char* seed, const char* output) {
      return Train(folder, {"--algorithm", algorithm, "--epochs", "8", "--batch-size", "7", "--seed", seed,
                            "--report", "0", "net.wgt", "train.dat", output});
    };
    ASSERT_EQ(run("7", "a.wgt").status, 0) << algorithm;
    ASSERT_EQ(run("7", "b.wgt").status, 0) << algorithm;
    ASSERT_EQ(run("8", "c.wgt").status, 0) << algorithm;
    const std::string a = ReadAll(folder.File("a.wgt"));
    EXPECT_EQ(a, ReadAll(folder.File("b.wgt"))) << algorithm;
    const bool shuffles = std::string(algorithm) == "incremental" || std::string(algorithm) == "adam";
    EXPECT_EQ(a != ReadAll(folder.File("c.wgt")), shuffles) << algorithm;
    EXPECT_NE(a, ReadAll(folder.File("net.wgt"))) << algorithm;
  }
}

TEST_F(NetforgeTrainTool, RefusesBadInputWithStatusOneAndWritesNothing) {
  WriteText(folder.File("wide.dat"), DataSetText(5, 4, 2));
  WriteText(folder.File("empty.dat"), DataSetText(0, 3, 2));
  WriteText(folder.File("labels.dat"),
            "[DataSet]\n[Rows = 1]\n[Inputs = 3]\n[ExpectedOutputs = Labels]\n[Data]\n1 2 3 [cat ]\n[~Data]\n"
            "[~DataSet]\n");
  {
    // A recurrent block, and a hidden layer whose function has no derivative.
    const int sizes[] = {3, 6, 2};
    TMLPNetwork recurrent(3, sizes, true);
    recurrent.Connect(3, 2);
    FileTools().SaveNetwork(folder.File("recurrent.wgt").c_str(), &recurrent, nullptr);
    TMLPNetwork untrainable(3, sizes, true);
    untrainable.layers[2]->SetActivationFunction(untrainable.fnRegistry->GetFunction("error"));
    FileTools().SaveNetwork(folder.File("untrainable.wgt").c_str(), &untrainable, nullptr);
  }
  // A bias layer of two neurons loads but cannot be written back: a network
  // without bias whose empty layer 0 becomes such a layer.
  {
    const int sizes[] = {3, 6, 2};
    TMLPNetwork noBias(3, sizes, false);
    FileTools().SaveNetwork(folder.File("twobias.wgt").c_str(), &noBias, nullptr);
    std::string text = ReadAll(folder.File("twobias.wgt"));
    const std::string emptyLayer = "[NumberOfNeurons = 0]\n[All ActivationFunction=null ]";
    text.replace(text.find(emptyLayer), emptyLayer.size(), "[NumberOfNeurons = 2]\n[All ActivationFunction=bias ]");
    text.replace(text.find("[~NetworkInformation]"), 0, "[BiasLayer = 0]\n");
    WriteText(folder.File("twobias.wgt"), text);
  }

  struct Case {
    std::vector<std::string> args;
    const char* message;
  };
  const std::vector<Case> cases = {
      {{"net.wgt", "wide.dat", "out.wgt"}, "4 inputs per row, but the network's input layer has 3 neurons"},
      {{"net.wgt", "labels.dat", "out.wgt"}, "labels instead of expected outputs"},
      {{"net.wgt", "empty.dat", "out.wgt"}, "holds no rows"},
      {{"recurrent.wgt", "train.dat", "out.wgt"}, "recurrent"},
      {{"untrainable.wgt", "train.dat", "out.wgt"}, "\"error\", whose derivative is not known"},
      {{"twobias.wgt", "train.dat", "out.wgt"}, "could not be written back"},
      {{"missing.wgt", "train.dat", "out.wgt"}, "missing.wgt: cannot open the file"},
      {{"--validation", "wide.dat", "net.wgt", "train.dat", "out.wgt"}, "wide.dat: the validation set has 4 inputs"},
      {{"--algorithm", "newton", "net.wgt", "train.dat", "out.wgt"}, "unknown algorithm \"newton\""},
      {{"--learning-rate", "-0.1", "net.wgt", "train.dat", "out.wgt"}, "learning rate must be a number >= 0"},
      {{"--batch-size", "0", "net.wgt", "train.dat", "out.wgt"}, "batch size must be at least 1"},
      {{"--epochs", "0", "net.wgt", "train.dat", "out.wgt"}, "epochs must be at least 1"},
      {{"--epochs", "ten", "net.wgt", "train.dat", "out.wgt"}, "not a whole number"},
      {{"--momentum", "nan", "net.wgt", "train.dat", "out.wgt"}, "not a finite number"},
      {{"--error", "mae", "net.wgt", "train.dat", "out.wgt"}, "unknown error function"},
      {{"--penalty", "(decay :rate 1)", "net.wgt", "train.dat", "out.wgt"}, "unknown penalty \"decay\""},
      {{"--penalty", "(lwf :learningrate", "net.wgt", "train.dat", "out.wgt"}, "not a structured message"},
      {{"--patience", "3", "net.wgt", "train.dat", "out.wgt"}, "--patience needs --validation"},
      {{"--frobnicate", "net.wgt", "train.dat", "out.wgt"}, "unknown option"},
      {{"net.wgt", "train.dat"}, "expected NETWORK TRAINSET OUTPUT"},
      {{"net.wgt", "train.dat", "train.dat"}, "OUTPUT names the same file as TRAINSET"},
      {{"net.wgt", "train.dat", "no-such-folder/out.wgt"}, "no-such-folder/out.wgt: cannot create a file beside it"},
  };
  for (const Case& c : cases) {
    WriteText(folder.File("out.wgt"), "old contents");
    const RunResult run = Train(folder, c.args);
    EXPECT_EQ(run.status, 1) << c.message << "\n" << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_EQ(ReadAll(folder.File("out.wgt")), "old contents") << c.message;
    EXPECT_EQ(TemporaryFiles(folder), 0) << c.message;
  }
  EXPECT_EQ(DataSetText(40, 3, 2), ReadAll(folder.File("train.dat")));

  const RunResult help = Train(folder, {"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("exit status is 130"), std::string::npos);
}

// Starts the tool with its standard error in |errFile|; returns its id.
pid_t Start(const TempFolder& folder, const std::vector<std::string>& args, const std::string& errFile) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(folder.Path().c_str()) != 0 || !freopen(errFile.c_str(), "w", stderr)) _exit(99);
    std::vector<char*> argv = {const_cast<char*>(NETFORGE_TRAIN_PATH)};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(NETFORGE_TRAIN_PATH, argv.data());
    _exit(98);
  }
  return pid;
}

TEST_F(NetforgeTrainTool, SignalStopsAfterTheEpochAndWritesTheBestNetwork) {
  WriteNetwork(folder.File("big.wgt"), {3, 60, 60, 2}, 2);
  WriteText(folder.File("big.dat"), DataSetText(400, 3, 2));
  for (int signal : {SIGINT, SIGTERM}) {
    fs::remove(folder.File("out.wgt"));
    const std::string errFile = folder.File("err" + std::to_string(signal) + ".txt");
    const pid_t pid = Start(folder, {"--epochs", "1000000", "--report", "1", "--history", "h.csv", "--validation",
                                     "train.dat", "big.wgt", "big.dat", "out.wgt"},
                            errFile);
    ASSERT_GT(pid, 0);
    // Wait for the second epoch, so that training is under way.
    for (int i = 0; i < 600 && ReadAll(errFile).find("epoch 2/") == std::string::npos; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_NE(ReadAll(errFile).find("epoch 2/"), std::string::npos) << ReadAll(errFile);
    kill(pid, signal);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 130) << ReadAll(errFile);
    EXPECT_NE(ReadAll(errFile).find("(interrupted)"), std::string::npos) << ReadAll(errFile);
    EXPECT_TRUE(Loads(folder.File("out.wgt")));
    const std::string history = ReadAll(folder.File("h.csv"));
    EXPECT_GE(std::count(history.begin(), history.end(), '\n'), 3);
    EXPECT_EQ(TemporaryFiles(folder), 0);
  }
}

}  // namespace
