// The Graphviz drawings, read back with a small DOT reader.
#include "Drawing/DotDrawing.h"

#include <gtest/gtest.h>

#include "Drawing/DotCheck.h"
#include "Drawing/DrawingTestNetworks.h"

namespace {

using Netforge::DescribeNetwork;
using Netforge::DrawDot;
using Netforge::PictureOptions;
using TestSupport::DotGraph;
using TestSupport::ParseDot;

DotGraph Parse(const std::string& text) {
  DotGraph graph;
  EXPECT_EQ(ParseDot(text, graph), "") << text;
  return graph;
}

TEST(DotDrawing, SparseExampleNeuronByNeuron) {
  auto network = drawtest::LoadExample("sparse.wgt");
  PictureOptions options;
  options.caption = "examples/sparse.wgt";
  const DotGraph graph = Parse(DrawDot(DescribeNetwork(*network, options)));
  EXPECT_EQ(graph.nodes.size(), 11u);
  EXPECT_EQ(graph.subgraphs, (std::vector<std::string>{"cluster_L0", "cluster_L1", "cluster_L2"}));
  ASSERT_EQ(graph.edges.size(), 9u);
  int dashed = 0;
  for (const auto& edge : graph.edges) dashed += edge.attributes.count("style") && edge.attributes.at("style") == "dashed";
  EXPECT_EQ(dashed, 4);
  EXPECT_EQ(graph.nodes.at("L1N0").at("label"), "0");
  EXPECT_EQ(graph.nodes.at("L1N0").at("xlabel"), "tanh-gain");
  EXPECT_EQ(graph.nodes.at("L0N0").count("xlabel"), 0u);
  EXPECT_EQ(graph.nodes.at("L0N0").at("label"), "0");
  EXPECT_EQ(graph.graphAttributes.at("label"),
            "Basic network: 3 layers, 11 neurons, 9 of 38 possible connections, 4 frozen\\nexamples/sparse.wgt");
  const auto& frozen = graph.edges[1];  // block 0 -> 1, target-major: (0,0) then (3,0)
  EXPECT_EQ(frozen.from, "L0N3");
  EXPECT_EQ(frozen.to, "L1N0");
  EXPECT_EQ(frozen.attributes.at("tooltip"), "weight -1.5, frozen");
}

TEST(DotDrawing, LargeNetworkLayerByLayer) {
  auto network = drawtest::Mlp({300, 300, 300});
  const DotGraph graph = Parse(DrawDot(DescribeNetwork(*network, PictureOptions{})));
  EXPECT_EQ(graph.nodes.size(), 4u);
  EXPECT_EQ(graph.subgraphs.size(), 0u);
  ASSERT_EQ(graph.edges.size(), 4u);
  EXPECT_EQ(graph.edges[0].from, "L0");
  EXPECT_EQ(graph.edges[0].to, "L2");
  EXPECT_EQ(graph.edges[2].attributes.at("label").substr(0, 37), "layer 1 to 2: 300 x 300\\n90 000 of 90");
  EXPECT_EQ(graph.nodes.at("L2").at("label"), "Layer 2\\nGain, 300 neurons\\nhidden, sigmoid");
}

TEST(DotDrawing, EmptyLayerLeftOut) {
  auto network = drawtest::Mlp({2, 1}, false);
  const DotGraph graph = Parse(DrawDot(DescribeNetwork(*network, PictureOptions{})));
  EXPECT_EQ(graph.subgraphs, (std::vector<std::string>{"cluster_L1", "cluster_L2"}));
  EXPECT_EQ(graph.nodes.size(), 3u);
}

TEST(DotDrawing, QuotedTexts) {
  const std::pair<const char*, const char*> cases[] = {
      {"plain", "\"plain\""},
      {"say \"hi\"", "\"say \\\"hi\\\"\""},
      {"back\\slash", "\"back\\\\slash\""},
      {"two\nlines", "\"two\\nlines\""},
      {"bell\a", "\"bell?\""},
  };
  for (const auto& [text, quoted] : cases) EXPECT_EQ(Netforge::DotQuote(text), quoted);
  auto network = drawtest::LoadExample("xor.wgt");
  PictureOptions options;
  options.caption = "we\"ird\\name\n.wgt";
  Parse(DrawDot(DescribeNetwork(*network, options)));
}

TEST(DotCheck, RejectsBrokenGraphs) {
  const char* const broken[] = {"digraph g { a -> b; }", "digraph g { a; ", "graph g { }", "digraph g { a [label=\"x]; }",
                                "digraph g { a b; }", "digraph g { a; a; }", "digraph g { a } }"};
  for (const char* text : broken) {
    DotGraph graph;
    EXPECT_NE(ParseDot(text, graph), "") << text;
  }
}

}  // namespace
