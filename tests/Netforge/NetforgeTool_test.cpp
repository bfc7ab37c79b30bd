// Runs the real Netforge binary on parameter files in a fresh folder.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "Common/NumberText.h"
#include "Common/Version.h"
#include "Support/ProgramChecks.h"
#include "Support/TestFiles.h"

namespace fs = std::filesystem;

namespace {

using TestSupport::ReadAll;
using TestSupport::RunResult;
using TestSupport::UnderAddressSanitizer;
using TestSupport::WriteText;

class NetforgeTool : public ::testing::Test {
 protected:
  void WriteFile(const std::string& name, const std::string& text) { WriteText(dir_ / name, text); }

  // Runs the tool in the test folder with |args|, standard output and
  // standard error captured separately. |limits| is a shell command run
  // first in the same shell, e.g. a ulimit.
  RunResult Run(const std::vector<std::string>& args, const std::string& limits = "") {
    return TestSupport::RunProgram(dir_, NETFORGE_TOOL_PATH, args, limits);
  }

  // Writes |text| as "test.par" and runs the tool on it.
  RunResult RunOn(const std::string& text, const std::string& limits = "") {
    WriteFile("test.par", text);
    return Run({"test.par"}, limits);
  }

  const TestSupport::TempFolder folder_;
  const fs::path dir_ = folder_.Path();
};

const char* const kValid = "Layers = 3\nLayerSize = 2 3 1\nBias = true\nMinWeight = -0.5\nMaxWeight = 0.5\n";

#define EXPECT_SUCCEEDS(result)    \
  do {                             \
    const RunResult r_ = (result); \
    EXPECT_EQ(r_.status, 0);       \
    EXPECT_EQ(r_.err, "");         \
    EXPECT_EQ(r_.out, "");         \
  } while (0)

}  // namespace

TEST_F(NetforgeTool, WrongArgumentCountPrintsUsage) {
  WriteFile("test.par", kValid);
  EXPECT_FAILS_WITH(Run({}), "Usage: Netforge parameter.file\n");
  EXPECT_FAILS_WITH(Run({"test.par", "test.par"}), "Usage: Netforge parameter.file\n");
}

TEST_F(NetforgeTool, HelpAndVersionExitWithZero) {
  for (const char* option : {"--help", "-h"}) {
    const RunResult help = Run({option});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.err, "");
    EXPECT_EQ(help.out.compare(0, 31, "Usage: Netforge parameter.file\n"), 0) << help.out;
    EXPECT_NE(help.out.find("Seed = N"), std::string::npos) << help.out;
  }
  const RunResult version = Run({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.err, "");
  EXPECT_EQ(version.out, std::string("Netforge ") + NETFORGE_VERSION_STRING + "\n");
  // Only alone: with a second argument it is the usage error as before.
  EXPECT_FAILS_WITH(Run({"--version", "x"}), "Usage: Netforge parameter.file\n");
}

TEST_F(NetforgeTool, UnopenableFileIsNamedWithoutLineEnd) {
  EXPECT_FAILS_WITH(Run({"missing.par"}), "Unable to open parameter file missing.par");
  EXPECT_FAILS_WITH(Run({"no/such/dir.par"}), "Unable to open parameter file no/such/dir.par");
  EXPECT_FAILS_WITH(Run({""}), "Unable to open parameter file ");
}

TEST_F(NetforgeTool, FolderInsteadOfFileIsAReadError) {
  fs::create_directory(dir_ / "folder.par");
  EXPECT_FAILS_WITH(Run({"folder.par"}), "Error while reading the parameter file\n");
}

TEST_F(NetforgeTool, ValidFilesSucceedSilently) {
  EXPECT_SUCCEEDS(RunOn(kValid));
  EXPECT_SUCCEEDS(RunOn("layers = 2\nLAYERSIZE = 4 1\nminweight = -1\nFileName = out.wgt"));
  EXPECT_SUCCEEDS(RunOn("Layers = 1\nLayerSize = 3\nBias = TRUE\n"));
  EXPECT_SUCCEEDS(RunOn("Layers = 1\nLayerSize = 3\nBias = yes\nMomentum = 0.9\n"));
  EXPECT_SUCCEEDS(RunOn("Layers : 2\nLayerSize =4 1\n"));
}

TEST_F(NetforgeTool, LayerCountMissingOrInvalid) {
  const char* message = "#LAyers not specified or invalid\n";
  EXPECT_FAILS_WITH(RunOn(""), message);
  EXPECT_FAILS_WITH(RunOn("Layers = 0\n"), message);
  EXPECT_FAILS_WITH(RunOn("Layers = -2\nLayerSize = 1 1\n"), message);
  EXPECT_FAILS_WITH(RunOn("Layers=3\nLayerSize = 2 3 1\n"), message);  // one word, skipped
}

TEST_F(NetforgeTool, InvalidLayerSize) {
  EXPECT_FAILS_WITH(RunOn("Layers = 3\nLayerSize = 4 0 2\n"), "Invalid layer size specified\n");
  EXPECT_FAILS_WITH(RunOn("Layers = 2\nLayerSize = 4 -1\n"), "Invalid layer size specified\n");
}

TEST_F(NetforgeTool, MaxWeightNotAboveMinWeight) {
  const char* message = "MaxWeight must be > MinWeight\n";
  EXPECT_FAILS_WITH(RunOn("Layers = 1\nLayerSize = 2\nMinWeight = 1\nMaxWeight = 1\n"), message);
  EXPECT_FAILS_WITH(RunOn("Layers = 1\nLayerSize = 2\nMinWeight = 6\n"), message);
}

TEST_F(NetforgeTool, ShortSizeList) {
  EXPECT_FAILS_WITH(RunOn("Layers = 3\n"), "LayerSize must list 3 sizes\n");
  EXPECT_FAILS_WITH(RunOn("LayerSize = 2 3 1\nLayers = 3\n"), "LayerSize must list 3 sizes\n");
  EXPECT_FAILS_WITH(RunOn("Layers = 3\nLayerSize = 2 3\nBias = true\n"), "LayerSize must list 3 sizes\n");
  EXPECT_FAILS_WITH(RunOn("Layers = 3\nLayerSize = 2 3"), "LayerSize must list 3 sizes\n");
  EXPECT_FAILS_WITH(RunOn("Layers = 1\nLayerSize = 2\nLayers = 2\n"), "LayerSize must list 2 sizes\n");
  EXPECT_FAILS_WITH(RunOn("Layers = 2000000000\nLayerSize = 1 2 3\n"), "LayerSize must list 2000000000 sizes\n");
}

TEST_F(NetforgeTool, UnreadableValues) {
  EXPECT_FAILS_WITH(RunOn("Layers = many\nLayerSize = 1\n"), "Layers value missing or invalid\n");
  EXPECT_FAILS_WITH(RunOn("Layers = 2\nLayerSize = 1 two\n"), "LayerSize must list 2 sizes\n");
  EXPECT_FAILS_WITH(RunOn("Layers = 2\nLayerSize = 1 2x\n"), "LayerSize value missing or invalid\n");
  EXPECT_FAILS_WITH(RunOn("Layers = 1\nLayerSize = 1\nMinWeight = -0,5\n"), "MinWeight value missing or invalid\n");
  EXPECT_FAILS_WITH(RunOn("Layers = 1\nLayerSize = 1\nMaxWeight = inf\n"), "MaxWeight value missing or invalid\n");
  EXPECT_FAILS_WITH(RunOn("Layers = 1\nLayerSize = 1\nFileName ="), "FileName value missing or invalid\n");
}

TEST_F(NetforgeTool, OverlongWords) {
  EXPECT_FAILS_WITH(RunOn(std::string(300, 'x') + "\nLayers = 1\nLayerSize = 1\n"),
                    "Word longer than 255 characters\n");
  EXPECT_FAILS_WITH(RunOn("Layers = 1\nLayerSize = 1\nFileName = " + std::string(256, 'f') + "\n"),
                    "FileName longer than 255 characters\n");
  EXPECT_FAILS_WITH(RunOn("Layers = 1\nLayerSize = 1\nBias = " + std::string(16, 't') + "\n"),
                    "Bias value longer than 15 characters\n");
}

TEST_F(NetforgeTool, UnreadableSeed) {
  const std::string head = "Layers = 1\nLayerSize = 2\n";
  EXPECT_FAILS_WITH(RunOn(head + "Seed = 4294967296\n"), "Seed value missing or invalid\n");
  EXPECT_FAILS_WITH(RunOn(head + "Seed = -1\n"), "Seed value missing or invalid\n");
  EXPECT_FAILS_WITH(RunOn(head + "Seed = now\n"), "Seed value missing or invalid\n");
  EXPECT_FAILS_WITH(RunOn(head + "Seed ="), "Seed value missing or invalid\n");
  EXPECT_SUCCEEDS(RunOn(head + "Seed = 4294967295\n"));
}

namespace {

// The weights of every matrix row of a network file, in file order.
std::vector<double> MatrixWeights(const std::string& text) {
  std::vector<double> weights;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '[' || line[0] == '/') continue;
    std::istringstream cells(line.substr(0, line.find("/*")));
    std::string cell;
    while (cells >> cell) {
      double value = 0;
      if (cell != "T" && Netforge::ScanDouble(cell.c_str(), value) == Netforge::ScanResult::kOk) {
        weights.push_back(value);
      }
    }
  }
  return weights;
}

}  // namespace

TEST_F(NetforgeTool, WritesTheNetworkToNewWgtByDefault) {
  EXPECT_SUCCEEDS(RunOn(kValid));
  const std::string text = ReadAll(dir_ / "new.wgt");
  EXPECT_EQ(text.substr(0, 60), "[FormatVersion = 1.0]\n\n[NeuralNetwork]\n[NetworkType = MLP]\n\n");
  EXPECT_NE(text.find("[NumberOfLayers = 4]\n[InputLayer = 1]\n[OutputLayer = 3]\n"
                      "[NumberOfInputs = 2]\n[NumberOfOutputs = 1]\n[BiasLayer = 0]\n"),
            std::string::npos);
  // The blocks, bias blocks first.
  std::vector<std::size_t> positions;
  for (const char* pair : {"[LayerFrom = 0]\n[LayerTo = 2]", "[LayerFrom = 0]\n[LayerTo = 3]",
                           "[LayerFrom = 1]\n[LayerTo = 2]", "[LayerFrom = 2]\n[LayerTo = 3]"}) {
    positions.push_back(text.find(pair));
    EXPECT_NE(positions.back(), std::string::npos) << pair;
  }
  EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
  const std::vector<double> weights = MatrixWeights(text);
  EXPECT_EQ(weights.size(), 13u);
  for (double weight : weights) {
    EXPECT_GE(weight, -0.5);
    EXPECT_LT(weight, 0.5);
  }
  EXPECT_SUCCEEDS(RunOn("Layers = 2\nLayerSize = 3 2\nFileName = other.wgt\n"));
  EXPECT_TRUE(fs::exists(dir_ / "other.wgt"));
}

TEST_F(NetforgeTool, OneLayerHasNoConnectionBlock) {
  EXPECT_SUCCEEDS(RunOn("Layers = 1\nLayerSize = 3\nBias = true\n"));
  const std::string text = ReadAll(dir_ / "new.wgt");
  EXPECT_EQ(text.find("[ConnectionLayer]"), std::string::npos);
  EXPECT_NE(text.find("[NumberOfLayers = 2]"), std::string::npos);
  const std::string end = "[~Layer]\n\n[~NeuralNetwork]\n";
  EXPECT_EQ(text.substr(text.size() - end.size()), end);
}

TEST_F(NetforgeTool, RunsInTheSameSecondWriteTheSameFile) {
  const std::string settings = "Layers = 3\nLayerSize = 20 30 5\nBias = true\nFileName = ";
  WriteFile("first.par", settings + "first.wgt\n");
  WriteFile("second.par", settings + "second.wgt\n");
  // Both runs start together, so that even a slow (sanitized) build gets
  // them into one second on most attempts.
  const std::string tool = "'" NETFORGE_TOOL_PATH "'";
  const std::string command = "cd '" + dir_.string() + "' && { " + tool + " first.par & " + tool +
                              " second.par & wait; } >out.txt 2>&1";
  for (int attempt = 0; attempt < 20; ++attempt) {
    const std::time_t before = std::time(nullptr);
    ASSERT_EQ(std::system(command.c_str()), 0);
    if (std::time(nullptr) != before) continue;  // the clock moved on during the runs
    EXPECT_EQ(ReadAll(dir_ / "out.txt"), "");
    const std::string first = ReadAll(dir_ / "first.wgt");
    EXPECT_GT(first.size(), 1000u);
    EXPECT_EQ(first, ReadAll(dir_ / "second.wgt"));
    return;
  }
  GTEST_SKIP() << "no two runs within one second on this machine";
}

TEST_F(NetforgeTool, UnwritableNetworkFileIsReportedOnStandardOutput) {
  RunResult result = RunOn("Layers = 2\nLayerSize = 2 1\nFileName = missing/net.wgt\n");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "Error on File Open\n");
  EXPECT_EQ(result.err, "");
  if (fs::exists("/dev/full")) {
    result = RunOn("Layers = 2\nLayerSize = 2 1\nFileName = /dev/full\n");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "Error writing network file\n");
    EXPECT_EQ(result.err, "");
  }
}

TEST_F(NetforgeTool, EveryUnwritableNetworkFilePlaceIsReported) {
  // Root ignores permission bits, so these are places nobody can write: a
  // folder, a name under a regular file, and a full disk for a network far
  // larger than the file buffer (the failure shows while writing).
  WriteFile("plain.txt", "keep me");
  fs::create_directory(dir_ / "folder.wgt");
  for (const char* name : {"folder.wgt", "plain.txt/net.wgt", "."}) {
    SCOPED_TRACE(name);
    const RunResult result = RunOn(std::string("Layers = 2\nLayerSize = 2 1\nFileName = ") + name + "\n");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "Error on File Open\n");
    EXPECT_EQ(result.err, "");
  }
  EXPECT_EQ(ReadAll(dir_ / "plain.txt"), "keep me");
  EXPECT_TRUE(fs::is_empty(dir_ / "folder.wgt"));
  if (fs::exists("/dev/full")) {
    const RunResult result = RunOn("Layers = 2\nLayerSize = 300 300\nFileName = /dev/full\n");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "Error writing network file\n");
    EXPECT_EQ(result.err, "");
  }
}

TEST_F(NetforgeTool, NetworkTooLargeEndsWithAMessage) {
  const char* message = "Network too large: more than 2147483647 weights\n";
  // Each block alone overflows an int; then blocks that fit alone but not
  // together (about 29 GB in all).
  EXPECT_FAILS_WITH(RunOn("Layers = 3\nLayerSize = 100000 100000 100000\n"), message);
  EXPECT_FAILS_WITH(RunOn("Layers = 3\nLayerSize = 40000 40000 40000\nBias = true\n"), message);
  EXPECT_FALSE(fs::exists(dir_ / "new.wgt"));
  // Few weights but so many layers that the blocks between every pair of
  // layers would not fit: refused before anything is built.
  std::string many_layers = "Layers = 20000\nLayerSize =";
  for (int i = 0; i < 20000; ++i) many_layers += " 1";
  EXPECT_FAILS_WITH(RunOn(many_layers + "\n"), "Network too large: more than 4096 layers\n");
  if (UnderAddressSanitizer()) return;  // the sanitizer needs more address space than the limit allows
  // Fits the count but not the address space given to the run (512 MiB):
  // 200 million weights take about 1.8 GB.
  EXPECT_FAILS_WITH(RunOn("Layers = 3\nLayerSize = 10000 10000 10000\n", "ulimit -v 524288"),
                    "Network too large: not enough memory\n");
}

TEST_F(NetforgeTool, SeedMakesTheRunReproducible) {
  const std::string settings = "Layers = 3\nLayerSize = 20 30 5\nBias = true\n";
  WriteFile("seeded.par", settings + "Seed = 12345\nFileName = seeded.wgt\n");
  EXPECT_SUCCEEDS(Run({"seeded.par"}));
  const std::string first = ReadAll(dir_ / "seeded.wgt");
  EXPECT_GT(first.size(), 1000u);

  // Seconds later the clock has moved on; the seed has not.
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  EXPECT_SUCCEEDS(Run({"seeded.par"}));
  EXPECT_EQ(ReadAll(dir_ / "seeded.wgt"), first);

  // Another seed, another network of the same shape.
  WriteFile("other.par", settings + "Seed = 12346\nFileName = other.wgt\n");
  EXPECT_SUCCEEDS(Run({"other.par"}));
  const std::string other = ReadAll(dir_ / "other.wgt");
  EXPECT_NE(other, first);
  EXPECT_GT(other.size(), 1000u);
}

TEST_F(NetforgeTool, WithoutSeedTheClockSeeds) {
  const std::string settings = "Layers = 3\nLayerSize = 20 30 5\nBias = true\n";
  WriteFile("clock.par", settings + "FileName = clock.wgt\n");

  // A seed equal to the clock's second gives exactly the clock-seeded file.
  bool compared = false;
  for (int attempt = 0; attempt < 10 && !compared; ++attempt) {
    const std::time_t now = std::time(nullptr);
    std::string seed;
    Netforge::AppendLong(seed, static_cast<long>(static_cast<std::uint32_t>(now)));
    WriteFile("seeded.par", settings + "Seed = " + seed + "\nFileName = seeded.wgt\n");
    EXPECT_SUCCEEDS(Run({"clock.par"}));
    EXPECT_SUCCEEDS(Run({"seeded.par"}));
    if (std::time(nullptr) != now) continue;  // the clock moved on during the runs
    EXPECT_EQ(ReadAll(dir_ / "clock.wgt"), ReadAll(dir_ / "seeded.wgt"));
    compared = true;
  }
  if (!compared) ADD_FAILURE() << "no two runs within one second";

  // Runs seconds apart without a seed differ.
  const std::string first = ReadAll(dir_ / "clock.wgt");
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  EXPECT_SUCCEEDS(Run({"clock.par"}));
  EXPECT_NE(ReadAll(dir_ / "clock.wgt"), first);
}

// The reading rules of numbers and size lists through the tool: the exit
// status, the message and what is left on disk.
TEST_F(NetforgeTool, NumbersAndSizeListsAreReadAsStreamExtractionReadsThem) {
  // Reading stops at the second LayerSize: the first list stays short.
  EXPECT_FAILS_WITH(RunOn("Layers = 3\nLayerSize = 2 3\nLayerSize = 2 3 1\n"), "LayerSize must list 3 sizes\n");
  EXPECT_FAILS_WITH(RunOn("Layers = 3\nLayerSize = 2, 3, 1\n"), "LayerSize must list 3 sizes\n");
  // A rest that would make the number another value.
  EXPECT_FAILS_WITH(RunOn("Layers = 3.5\nLayerSize = 2 3 1\n"), "Layers value missing or invalid\n");
  EXPECT_FAILS_WITH(RunOn("Layers = 1e5\nLayerSize = 2 3 1\n"), "Layers value missing or invalid\n");
  EXPECT_FAILS_WITH(RunOn("Layers = 1\nLayerSize = 2\nMinWeight = -0,5\n"), "MinWeight value missing or invalid\n");
  EXPECT_FAILS_WITH(RunOn("Layers = 2\nLayerSize = 2 \xE2\x88\x92" "1\n"), "LayerSize value missing or invalid\n");
  EXPECT_FALSE(fs::exists(dir_ / "new.wgt"));

  // Punctuation after a number is skipped as a word of its own.
  EXPECT_SUCCEEDS(RunOn("Layers = 3;\nLayerSize = 2 3 1;\nMinWeight = -0.5;\nMaxWeight = 0.5,\nFileName = out.wgt\n"));
  const std::string network = ReadAll(dir_ / "out.wgt");
  EXPECT_NE(network.find("[NumberOfLayers = 4]\n"), std::string::npos);
  EXPECT_NE(network.find("[Layer = 3]\n[LayerType = Gain]\n[NumberOfNeurons = 1]\n"), std::string::npos);
  // A byte order mark at the start is no part of the first keyword.
  EXPECT_SUCCEEDS(RunOn("\xEF\xBB\xBFLayers = 1\nLayerSize = 2\nFileName = bom.wgt\n"));
  EXPECT_TRUE(fs::exists(dir_ / "bom.wgt"));
}

// The network file must not replace the parameter file it came from, under
// any name of that file.
TEST_F(NetforgeTool, RefusesToOverwriteItsOwnParameterFile) {
  const char* const message = "FileName must not name the parameter file\n";
  const std::string own = "Layers = 1\nLayerSize = 2\nFileName = test.par\n";
  EXPECT_FAILS_WITH(RunOn(own), message);
  EXPECT_EQ(ReadAll(dir_ / "test.par"), own);

  const std::string dotted = "Layers = 1\nLayerSize = 2\nFileName = ./sub/../test.par\n";
  fs::create_directory(dir_ / "sub");
  EXPECT_FAILS_WITH(RunOn(dotted), message);
  EXPECT_EQ(ReadAll(dir_ / "test.par"), dotted);

  fs::create_hard_link(dir_ / "test.par", dir_ / "linked.par");
  EXPECT_FAILS_WITH(Run({"linked.par"}), message);
  EXPECT_EQ(ReadAll(dir_ / "test.par"), dotted);

  EXPECT_SUCCEEDS(RunOn("Layers = 1\nLayerSize = 2\nFileName = other.par\n"));
  EXPECT_NE(ReadAll(dir_ / "other.par").find("[NeuralNetwork]"), std::string::npos);
}
