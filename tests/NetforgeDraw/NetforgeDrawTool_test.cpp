// Runs the real NetforgeDraw binary on network files in a fresh folder.
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Common/Version.h"
#include "Drawing/DotCheck.h"
#include "Drawing/XmlCheck.h"
#include "Support/TestFiles.h"

namespace fs = std::filesystem;

namespace {

using TestSupport::ExampleFile;
using TestSupport::FileNamesIn;
using TestSupport::ReadAll;
using TestSupport::RunResult;
using TestSupport::TempFolder;
using TestSupport::WriteText;
using TestSupport::XmlElement;

RunResult Draw(const TempFolder& folder, const std::vector<std::string>& args) {
  return TestSupport::RunProgram(folder.Path(), NETFORGE_DRAW_PATH, args);
}

std::vector<XmlElement> SvgElements(const std::string& path) {
  std::vector<XmlElement> elements;
  EXPECT_EQ(TestSupport::CheckXml(ReadAll(path), elements), "") << path;
  return elements;
}

TEST(NetforgeDrawTool, DrawsTheSparseExample) {
  TempFolder folder;
  const RunResult run = Draw(folder, {ExampleFile("sparse.wgt"), "sparse.svg"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "");
  const std::vector<XmlElement> elements = SvgElements(folder.File("sparse.svg"));
  EXPECT_EQ(TestSupport::CountElements(elements, "circle", "neuron"), 11);
  EXPECT_EQ(TestSupport::CountClass(elements, "connection"), 9);
  EXPECT_EQ(FileNamesIn(folder.Path()), (std::vector<std::string>{"sparse.svg"}));
}

TEST(NetforgeDrawTool, DrawsEveryExample) {
  struct Case {
    const char* network;
    int neurons;
    int connections;
  };
  const Case cases[] = {{"xor.wgt", 6, 9}, {"sparse.wgt", 11, 9}, {"connected.wgt", 9, 26}};
  for (const Case& c : cases) {
    TempFolder folder;
    ASSERT_EQ(Draw(folder, {ExampleFile(c.network), "net.svg"}).status, 0) << c.network;
    ASSERT_EQ(Draw(folder, {ExampleFile(c.network), "net.dot"}).status, 0) << c.network;
    const std::vector<XmlElement> elements = SvgElements(folder.File("net.svg"));
    EXPECT_EQ(TestSupport::CountElements(elements, "circle", "neuron"), c.neurons) << c.network;
    EXPECT_EQ(TestSupport::CountClass(elements, "connection"), c.connections) << c.network;
    TestSupport::DotGraph graph;
    EXPECT_EQ(TestSupport::ParseDot(ReadAll(folder.File("net.dot")), graph), "") << c.network;
    EXPECT_EQ(graph.nodes.size(), static_cast<std::size_t>(c.neurons)) << c.network;
    EXPECT_EQ(graph.edges.size(), static_cast<std::size_t>(c.connections)) << c.network;
  }
}

TEST(NetforgeDrawTool, FormatFromTheEndingOrTheOption) {
  struct Case {
    std::vector<std::string> args;
    const char* output;
    bool dot;
  };
  const Case cases[] = {
      {{ExampleFile("sparse.wgt"), "net.dot"}, "net.dot", true},
      {{ExampleFile("sparse.wgt"), "net.GV"}, "net.GV", true},
      {{ExampleFile("sparse.wgt"), "net.picture"}, "net.picture", false},
      {{"--format", "dot", ExampleFile("sparse.wgt"), "net.svg"}, "net.svg", true},
      {{ExampleFile("sparse.wgt"), "--format", "svg", "net.dot"}, "net.dot", false},
      {{"--format", "dot", "--", ExampleFile("sparse.wgt"), "-net.gv"}, "-net.gv", true},
  };
  for (const Case& c : cases) {
    TempFolder folder;
    const RunResult run = Draw(folder, c.args);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string text = ReadAll(folder.File(c.output));
    if (c.dot) {
      TestSupport::DotGraph graph;
      EXPECT_EQ(TestSupport::ParseDot(text, graph), "");
      EXPECT_EQ(graph.nodes.size(), 11u);
      EXPECT_EQ(graph.edges.size(), 9u);
    } else {
      EXPECT_EQ(SvgElements(folder.File(c.output)).size() > 0, true);
    }
  }
}

TEST(NetforgeDrawTool, LargeGeneratedNetworkIsSummarised) {
  TempFolder folder;
  WriteText(folder.File("big.par"), "Layers = 3\nLayerSize = 400 10 2\nBias = true\nFileName = big.wgt\nSeed = 3\n");
  ASSERT_EQ(TestSupport::RunProgram(folder.Path(), NETFORGE_TOOL_PATH, {"big.par"}).status, 0);
  RunResult run = Draw(folder, {"big.wgt", "big.svg"});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<XmlElement> elements = SvgElements(folder.File("big.svg"));
  EXPECT_EQ(TestSupport::CountElements(elements, "rect", "layer"), 4);
  EXPECT_EQ(TestSupport::CountElements(elements, "path", "block"), 4);
  EXPECT_EQ(TestSupport::CountClass(elements, "neuron"), 0);
  EXPECT_NE(ReadAll(folder.File("big.svg")).find("4000 of 4000 (100 %)"), std::string::npos);
  // The whole network on request.
  run = Draw(folder, {"--view", "neurons", "big.wgt", "all.svg"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(TestSupport::CountClass(SvgElements(folder.File("all.svg")), "connection"), 4000 + 20 + 10 + 2);
  // A higher connection limit still keeps the neuron limit (413 > 400).
  run = Draw(folder, {"--max-connections", "5000", "big.wgt", "limit.svg"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(TestSupport::CountClass(SvgElements(folder.File("limit.svg")), "neuron"), 0);
  // A lower one summarises even a small network.
  run = Draw(folder, {"--max-connections", "8", ExampleFile("sparse.wgt"), "small.svg"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(TestSupport::CountClass(SvgElements(folder.File("small.svg")), "layer"), 3);
}

TEST(NetforgeDrawTool, RefusedNetworkWritesNothing) {
  TempFolder folder;
  std::string text = ReadAll(ExampleFile("sparse.wgt"));
  const std::size_t at = text.find("Weight=2.000000000000000");
  ASSERT_NE(at, std::string::npos);
  text.replace(at, 24, "Weight=two");
  WriteText(folder.File("bad.wgt"), text);
  WriteText(folder.File("old.svg"), "old picture");
  const RunResult run = Draw(folder, {"bad.wgt", "old.svg"});
  EXPECT_EQ(run.status, 1);
  // "bad.wgt:LINE:COLUMN: message", the place of the bad weight.
  const long line = 1 + std::count(text.begin(), text.begin() + static_cast<long>(at), '\n');
  const long column = static_cast<long>(at - text.rfind('\n', at));
  EXPECT_EQ(run.err, "bad.wgt:" + std::to_string(line) + ":" + std::to_string(column) + ": number-expected\n");
  EXPECT_EQ(ReadAll(folder.File("old.svg")), "old picture");
  EXPECT_EQ(FileNamesIn(folder.Path()), (std::vector<std::string>{"bad.wgt", "old.svg"}));
}

TEST(NetforgeDrawTool, ReplacesAnExistingPicture) {
  TempFolder folder;
  WriteText(folder.File("net.svg"), "old picture");
  ASSERT_EQ(Draw(folder, {ExampleFile("xor.wgt"), "net.svg"}).status, 0);
  EXPECT_EQ(TestSupport::CountClass(SvgElements(folder.File("net.svg")), "neuron"), 6);
  EXPECT_EQ(FileNamesIn(folder.Path()), (std::vector<std::string>{"net.svg"}));
}

TEST(NetforgeDrawTool, Failures) {
  struct Case {
    std::vector<std::string> args;
    const char* message;  // the start of standard error
  };
  const Case cases[] = {
      {{}, "NetforgeDraw: expected a network file and an output file\nUsage: NetforgeDraw"},
      {{ExampleFile("xor.wgt")}, "NetforgeDraw: expected a network file and an output file"},
      {{ExampleFile("xor.wgt"), "a.svg", "b.svg"}, "NetforgeDraw: expected a network file and an output file"},
      {{"--colour", ExampleFile("xor.wgt"), "a.svg"}, "NetforgeDraw: unknown option --colour"},
      {{"--format", "png", ExampleFile("xor.wgt"), "a.svg"}, "NetforgeDraw: unknown format \"png\" (svg or dot)"},
      {{"--view", "all", ExampleFile("xor.wgt"), "a.svg"}, "NetforgeDraw: unknown view \"all\""},
      {{"--max-connections", "-1", ExampleFile("xor.wgt"), "a.svg"}, "NetforgeDraw: --max-connections takes"},
      {{"--max-connections", "12x", ExampleFile("xor.wgt"), "a.svg"}, "NetforgeDraw: --max-connections takes"},
      {{ExampleFile("xor.wgt"), "a.svg", "--view"}, "NetforgeDraw: --view needs a value"},
      {{"missing.wgt", "a.svg"}, "missing.wgt: cannot open the file\n"},
      {{ExampleFile("xor.wgt"), "no/such/folder/a.svg"}, "no/such/folder/a.svg: cannot create a temporary file beside it\n"},
      {{ExampleFile("xor.wgt"), "."}, ".: cannot replace it: "},
  };
  for (const Case& c : cases) {
    TempFolder folder;
    const RunResult run = Draw(folder, c.args);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind(c.message, 0), 0u) << run.err;
    EXPECT_EQ(FileNamesIn(folder.Path()), std::vector<std::string>{}) << run.err;
  }
}

TEST(NetforgeDrawTool, Help) {
  TempFolder folder;
  const RunResult run = Draw(folder, {"--help"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.rfind("Usage: NetforgeDraw [options] NETWORK OUTPUT\n", 0), 0u);
  EXPECT_EQ(run.err, "");
  const RunResult version = Draw(folder, {"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, std::string("NetforgeDraw ") + NETFORGE_VERSION_STRING + "\n");
  EXPECT_EQ(version.err, "");
}

}  // namespace
