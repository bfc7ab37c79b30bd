// The SVG documents: well-formed, one element per neuron and connection in
// the neuron view, one per layer and block in the layer view, and text from
// files escaped.
#include "Drawing/SvgDrawing.h"

#include <limits>

#include <gtest/gtest.h>

#include "Drawing/DrawingTestNetworks.h"
#include "Drawing/XmlCheck.h"

namespace {

using Netforge::DescribeNetwork;
using Netforge::DrawSvg;
using Netforge::PictureOptions;
using TestSupport::CheckXml;
using TestSupport::CountClass;
using TestSupport::CountElements;
using TestSupport::XmlElement;

std::vector<XmlElement> Elements(const std::string& svg) {
  std::vector<XmlElement> elements;
  const std::string fault = CheckXml(svg, elements);
  EXPECT_EQ(fault, "");
  return elements;
}

int Dashed(const std::vector<XmlElement>& elements) {
  int n = 0;
  for (const XmlElement& e : elements) {
    if (e.attributes.count("class") && e.attributes.at("class") == "connection" && e.attributes.count("stroke-dasharray")) ++n;
  }
  return n;
}

TEST(SvgDrawing, SparseExampleHasAnElementPerNeuronAndConnection) {
  auto network = drawtest::LoadExample("sparse.wgt");
  PictureOptions options;
  options.caption = "sparse.wgt";
  const std::string svg = DrawSvg(DescribeNetwork(*network, options));
  const std::vector<XmlElement> elements = Elements(svg);
  ASSERT_FALSE(elements.empty());
  EXPECT_EQ(elements[0].name, "svg");
  EXPECT_EQ(elements[0].attributes.at("xmlns"), "http://www.w3.org/2000/svg");
  EXPECT_EQ(CountElements(elements, "circle", "neuron"), 11);
  EXPECT_EQ(CountClass(elements, "neuron"), 11);
  EXPECT_EQ(CountClass(elements, "connection"), 9);
  // The one shortcut (layer 0 to 2) is curved; the others are straight.
  EXPECT_EQ(CountElements(elements, "path", "connection"), 1);
  EXPECT_EQ(CountElements(elements, "line", "connection"), 8);
  EXPECT_EQ(Dashed(elements), 4) << "frozen connections are dashed";
  EXPECT_EQ(CountClass(elements, "function"), 5) << "the mixed layer's neurons are labelled";
  EXPECT_EQ(CountClass(elements, "layer"), 0);
  EXPECT_EQ(CountClass(elements, "title"), 1);
  EXPECT_NE(svg.find("Basic network: 3 layers, 11 neurons, 9 of 38 possible connections, 4 frozen"), std::string::npos);
  EXPECT_NE(svg.find(">sparse.wgt</text>"), std::string::npos);
}

TEST(SvgDrawing, BiasConnectionsAreCurved) {
  auto network = drawtest::LoadExample("xor.wgt");
  const std::vector<XmlElement> elements = Elements(DrawSvg(DescribeNetwork(*network, PictureOptions{})));
  EXPECT_EQ(CountClass(elements, "neuron"), 6);
  EXPECT_EQ(CountElements(elements, "path", "connection"), 3);
  EXPECT_EQ(CountElements(elements, "line", "connection"), 6);
  EXPECT_EQ(Dashed(elements), 0);
}

TEST(SvgDrawing, LargeNetworkIsSummarised) {
  auto network = drawtest::Mlp({300, 300, 300});
  const Netforge::NetworkPicture picture = DescribeNetwork(*network, PictureOptions{});
  ASSERT_FALSE(picture.neuronView);
  const std::string svg = DrawSvg(picture);
  const std::vector<XmlElement> elements = Elements(svg);
  EXPECT_EQ(CountElements(elements, "rect", "layer"), 4);
  EXPECT_EQ(CountElements(elements, "path", "block"), 4);
  EXPECT_EQ(CountClass(elements, "neuron"), 0);
  EXPECT_EQ(CountClass(elements, "connection"), 0);
  EXPECT_NE(svg.find("90 000 of 90 000 (100 %)"), std::string::npos);
  EXPECT_NE(svg.find("layer 0 to 3: 1 x 300"), std::string::npos);
  EXPECT_LT(svg.size(), 20000u);
}

TEST(SvgDrawing, NeuronViewOfANetworkWithoutConnections) {
  auto network = drawtest::Mlp({3, 2}, false);
  for (TBasicConnections*& block : network->priv_conns) {
    if (block->IsConnected()) network->Disconnect(block->fromLayer, block->toLayer);
  }
  const std::vector<XmlElement> elements = Elements(DrawSvg(DescribeNetwork(*network, PictureOptions{})));
  EXPECT_EQ(CountClass(elements, "neuron"), 5);
  EXPECT_EQ(CountClass(elements, "connection"), 0);
}

TEST(SvgDrawing, NonFiniteWeightsStillDrawNumbers) {
  auto network = drawtest::Mlp({2, 1});
  network->priv_conns_index[2][1]->Weight(0, 0) = std::numeric_limits<double>::quiet_NaN();
  network->priv_conns_index[2][1]->Weight(1, 0) = std::numeric_limits<double>::infinity();
  for (const auto view : {Netforge::PictureView::kNeurons, Netforge::PictureView::kLayers}) {
    PictureOptions options;
    options.view = view;
    const std::vector<XmlElement> elements = Elements(DrawSvg(DescribeNetwork(*network, options)));
    for (const XmlElement& e : elements) {
      for (const auto& [name, value] : e.attributes) {
        if (name == "stroke-width" || name == "x1" || name == "cx" || name == "d" || name == "stroke") {
          EXPECT_EQ(value.find("nan"), std::string::npos) << name << "=" << value;
          EXPECT_EQ(value.find("inf"), std::string::npos) << name << "=" << value;
        }
      }
    }
  }
}

TEST(SvgDrawing, CaptionIsEscaped) {
  auto network = drawtest::LoadExample("xor.wgt");
  const std::pair<const char*, const char*> cases[] = {
      {"a<b>&\"c'.wgt", "a&lt;b&gt;&amp;&quot;c&apos;.wgt"},
      {"bad\xff\xfe.wgt", "bad??.wgt"},
      {"ctl\x01\x1f.wgt", "ctl??.wgt"},
      {"caf\xc3\xa9.wgt", "caf\xc3\xa9.wgt"},
      {"half\xc3", "half?"},
      {"surrogate\xed\xa0\x80", "surrogate???"},
  };
  for (const auto& [caption, escaped] : cases) {
    EXPECT_EQ(Netforge::XmlEscape(caption), escaped);
    PictureOptions options;
    options.caption = caption;
    std::vector<XmlElement> elements;
    EXPECT_EQ(CheckXml(DrawSvg(DescribeNetwork(*network, options)), elements), "") << escaped;
  }
}

// The checker itself must catch what it is there for.
TEST(XmlCheck, RejectsBrokenDocuments) {
  const char* const broken[] = {
      "<a><b></a></b>", "<a>", "<a x=\"1\" x=\"2\"/>", "<a x=1/>", "<a>&nope;</a>", "<a>1 & 2</a>",
      "<a/><b/>", "text<a/>", "<a x=\"<\"/>", "<a>\xff</a>", "<a><!-- open </a>", "",
  };
  for (const char* text : broken) {
    std::vector<XmlElement> elements;
    EXPECT_NE(CheckXml(text, elements), "") << text;
  }
  std::vector<XmlElement> elements;
  EXPECT_EQ(CheckXml("<?xml version=\"1.0\"?>\n<a k='v'><!-- c --><b>x &amp; y</b><c/></a>\n", elements), "");
  ASSERT_EQ(elements.size(), 3u);
  EXPECT_EQ(elements[1].text, "x & y");
  EXPECT_EQ(elements[0].attributes.at("k"), "v");
}

}  // namespace
