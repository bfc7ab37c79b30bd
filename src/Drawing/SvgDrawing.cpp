#include "Drawing/SvgDrawing.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numeric>
#include <vector>

#include "Common/NumberText.h"
#include "Drawing/DrawingStyle.h"
#include "Drawing/PictureLayout.h"

namespace Netforge {

namespace {

constexpr const char* kInk = "#1f2937";
constexpr const char* kFaintInk = "#6b7280";
constexpr const char* kBandColour = "#64748b";
// White outline behind text that may sit on lines, so it stays readable.
constexpr const char* kHalo = " stroke=\"#ffffff\" stroke-width=\"3\" stroke-linejoin=\"round\" paint-order=\"stroke\"";

// Length of the valid UTF-8 sequence starting at text[i], or 0.
std::size_t Utf8Length(const std::string& text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  std::size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead < 0xE0 ? 2 : lead >= 0xE0 && lead < 0xF0 ? 3
                                     : lead >= 0xF0 && lead < 0xF5 ? 4 : 0;
  if (length == 0 || i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
  }
  // No overlong three- and four-byte forms, no surrogates, nothing past U+10FFFF.
  if (lead == 0xE0 && byte(i + 1) < 0xA0) return 0;
  if (lead == 0xED && byte(i + 1) >= 0xA0) return 0;
  if (lead == 0xF0 && byte(i + 1) < 0x90) return 0;
  if (lead == 0xF4 && byte(i + 1) >= 0x90) return 0;
  return length;
}

std::string Attr(const char* name, const std::string& value) {
  return std::string(" ") + name + "=\"" + XmlEscape(value) + "\"";
}

std::string Attr(const char* name, double value) { return Attr(name, Decimal(value, 1)); }

std::string PointText(Point p) { return Decimal(p.x, 1) + "," + Decimal(p.y, 1); }

std::string CurvePath(const PictureLayout& layout, Point from, Point to, double laneY) {
  const std::vector<Point> p = PictureLayout::CurvePoints(from, to, laneY, layout.CurveReach());
  return "M" + PointText(p[0]) + " C" + PointText(p[1]) + " " + PointText(p[2]) + " " + PointText(p[3]) + " L" +
         PointText(p[4]) + " C" + PointText(p[5]) + " " + PointText(p[6]) + " " + PointText(p[7]);
}

// A <text> element; |extra| holds further attributes, already written.
std::string Text(double x, double y, const std::string& text, const std::string& extra) {
  return "<text" + Attr("x", x) + Attr("y", y) + extra + ">" + XmlEscape(text) + "</text>\n";
}

std::string NumberText(long value) {
  std::string text;
  AppendLong(text, value);
  return text;
}

void DrawTitle(const NetworkPicture& picture, const PictureLayout& layout, std::string& out) {
  out += Text(PictureLayout::kMargin, layout.TitleY(), TitleLine(picture),
              " class=\"title\" font-size=\"15\" font-weight=\"bold\" fill=\"" + std::string(kInk) + "\"");
  if (!picture.caption.empty()) {
    out += Text(PictureLayout::kMargin, layout.CaptionY(), picture.caption,
                " class=\"caption\" font-size=\"12\" fill=\"" + std::string(kFaintInk) + "\"");
  }
}

void DrawHeadings(const NetworkPicture& picture, const PictureLayout& layout, std::string& out) {
  out += "<g class=\"headings\" text-anchor=\"middle\" font-size=\"11\" fill=\"" + std::string(kInk) + "\">\n";
  for (const PictureLayer& layer : picture.layers) {
    const ColumnPlace& place = layout.Column(layer.number);
    if (!place.drawn) continue;
    const std::string next = "<tspan" + Attr("x", place.x) + " dy=\"14\">";
    out += "<text" + Attr("x", place.x) + Attr("y", layout.HeadingY()) + "><tspan font-weight=\"bold\">" +
           XmlEscape(LayerHeading(layer)) + "</tspan>" + next + XmlEscape(LayerKind(layer)) + "</tspan>" + next +
           XmlEscape(LayerRole(layer)) + "</tspan></text>\n";
  }
  out += "</g>\n";
}

// ---- The neuron view ----

std::string ConnectionTip(const PictureConnection& c) {
  std::string tip = "layer " + NumberText(c.fromLayer) + " neuron " + NumberText(c.fromNeuron) + " to layer " +
                    NumberText(c.toLayer) + " neuron " + NumberText(c.toNeuron) + ": weight ";
  AppendGeneral(tip, c.weight, 6);
  if (c.frozen) tip += ", frozen";
  return tip;
}

std::string StrokeAttrs(double weight, double largest, double scale, bool frozen) {
  std::string attrs = Attr("stroke", WeightColour(weight, largest)) +
                      Attr("stroke-width", Decimal(WeightWidth(weight, largest, scale), 2));
  if (frozen) attrs += Attr("stroke-dasharray", kFrozenDash);
  return attrs;
}

// Index of the route of the block that holds |c|.
std::size_t BlockOf(const NetworkPicture& picture, const PictureConnection& c) {
  for (std::size_t b = 0; b < picture.blocks.size(); ++b) {
    if (picture.blocks[b].fromLayer == c.fromLayer && picture.blocks[b].toLayer == c.toLayer) return b;
  }
  return 0;
}

void DrawConnections(const NetworkPicture& picture, const PictureLayout& layout, std::string& out) {
  // Weak connections first, so that strong ones are drawn over them.
  std::vector<std::size_t> order(picture.connections.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  const auto magnitude = [&](std::size_t i) {
    const double w = std::fabs(picture.connections[i].weight);
    return std::isnan(w) ? 0.0 : w;
  };
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return magnitude(a) < magnitude(b); });
  const double scale = LineScale(picture.existingConnections);
  out += "<g class=\"connections\" fill=\"none\" stroke-linecap=\"round\">\n";
  for (std::size_t i : order) {
    const PictureConnection& c = picture.connections[i];
    const Point from = layout.NeuronCentre(c.fromLayer, c.fromNeuron);
    const Point to = layout.NeuronCentre(c.toLayer, c.toNeuron);
    const BlockRoute& route = layout.Route(BlockOf(picture, c));
    const std::string stroke = StrokeAttrs(c.weight, picture.largestMagnitude, scale, c.frozen);
    const std::string tip = "<title>" + XmlEscape(ConnectionTip(c)) + "</title>";
    if (route.curved) {
      out += "<path class=\"connection\"" + Attr("d", CurvePath(layout, from, to, route.laneY)) + stroke + ">" + tip + "</path>\n";
    } else {
      out += "<line class=\"connection\"" + Attr("x1", from.x) + Attr("y1", from.y) + Attr("x2", to.x) +
             Attr("y2", to.y) + stroke + ">" + tip + "</line>\n";
    }
  }
  out += "</g>\n";
}

void DrawNeurons(const NetworkPicture& picture, const PictureLayout& layout, std::string& out) {
  out += "<g class=\"neurons\" font-size=\"10\" text-anchor=\"middle\">\n";
  for (const PictureNeuron& neuron : picture.neurons) {
    const PictureLayer& layer = picture.layers[static_cast<std::size_t>(neuron.layer)];
    const Point centre = layout.NeuronCentre(neuron.layer, neuron.index);
    std::string tip = "layer " + NumberText(neuron.layer) + " neuron " + NumberText(neuron.index) + ": " +
                      (neuron.function.empty() ? layer.function : neuron.function);
    out += "<circle class=\"neuron\"" + Attr("cx", centre.x) + Attr("cy", centre.y) +
           Attr("r", PictureLayout::kNeuronRadius) + Attr("fill", LayerFill(layer)) + Attr("stroke", kInk) +
           " stroke-width=\"1\"><title>" + XmlEscape(tip) + "</title></circle>\n";
    out += Text(centre.x, centre.y + 3.5, NumberText(neuron.index), Attr("fill", kInk));
    if (!neuron.function.empty()) {
      out += Text(centre.x, centre.y + PictureLayout::kNeuronRadius + 11.0, neuron.function,
                  " class=\"function\" font-size=\"9\" font-style=\"italic\"" + Attr("fill", kInk) + kHalo);
    }
  }
  out += "</g>\n";
}

// ---- The layer view ----

void DrawBlockBand(const NetworkPicture& picture, const PictureLayout& layout, std::size_t b, std::string& out) {
  const PictureBlock& block = picture.blocks[b];
  const ColumnPlace& from = layout.Column(block.fromLayer);
  const ColumnPlace& to = layout.Column(block.toLayer);
  const BlockRoute& route = layout.Route(b);
  const double density = block.possible > 0 ? static_cast<double>(block.existing) / static_cast<double>(block.possible) : 0.0;
  // Light enough at full density for the description to be read on it.
  const std::string opacity = Decimal(0.12 + 0.33 * density, 2);
  const std::vector<std::string> lines = BlockSummary(block);
  const double half = PictureLayout::kBoxWidth / 2.0;
  if (!route.curved) {
    const std::string d = "M" + PointText({from.x + half, from.top}) + " L" + PointText({to.x - half, to.top}) +
                          " L" + PointText({to.x - half, to.bottom}) + " L" + PointText({from.x + half, from.bottom}) + " Z";
    out += "<path class=\"block\"" + Attr("d", d) + Attr("fill", kBandColour) + Attr("fill-opacity", opacity) + "/>\n";
    const double x = (from.x + to.x) / 2.0;
    double y = (from.top + from.bottom + to.top + to.bottom) / 4.0 - 7.0 * static_cast<double>(lines.size() - 1);
    for (const std::string& line : lines) {
      out += Text(x, y + 4.0, line, std::string(" text-anchor=\"middle\" font-size=\"11\"") + Attr("fill", kInk));
      y += 14.0;
    }
    return;
  }
  // Curved bands leave and reach the boxes near their upper (or lower) corners.
  const bool above = route.laneY < from.top;
  const Point start{from.x + half, above ? from.top + 12.0 : from.bottom - 12.0};
  const Point end{to.x - half, above ? to.top + 12.0 : to.bottom - 12.0};
  out += "<path class=\"block\"" + Attr("d", CurvePath(layout, start, end, route.laneY)) + " fill=\"none\"" +
         Attr("stroke", kBandColour) + Attr("stroke-opacity", opacity) +
         Attr("stroke-width", Decimal(3.0 + 9.0 * density, 1)) + "/>\n";
  std::string label;
  for (const std::string& line : lines) label += (label.empty() ? "" : ", ") + line;
  out += Text((start.x + end.x) / 2.0, route.laneY + (above ? -10.0 : 18.0), label,
              std::string(" text-anchor=\"middle\" font-size=\"10\"") + Attr("fill", kInk) + kHalo);
}

void DrawLayerBoxes(const NetworkPicture& picture, const PictureLayout& layout, std::string& out) {
  out += "<g class=\"layers\" text-anchor=\"middle\">\n";
  for (const PictureLayer& layer : picture.layers) {
    const ColumnPlace& place = layout.Column(layer.number);
    if (!place.drawn) continue;
    const double half = PictureLayout::kBoxWidth / 2.0;
    out += "<rect class=\"layer\"" + Attr("x", place.x - half) + Attr("y", place.top) +
           Attr("width", PictureLayout::kBoxWidth) + Attr("height", place.bottom - place.top) + " rx=\"6\"" +
           Attr("fill", LayerFill(layer)) + Attr("stroke", kInk) + "/>\n";
    const double middle = (place.top + place.bottom) / 2.0;
    out += Text(place.x, middle + 1.0, NumberText(layer.neurons), " font-size=\"16\" font-weight=\"bold\"" + Attr("fill", kInk));
    out += Text(place.x, middle + 16.0, layer.neurons == 1 ? "neuron" : "neurons", " font-size=\"10\"" + Attr("fill", kInk));
  }
  out += "</g>\n";
}

// ---- The legend ----

std::string SampleLine(double x, double y, double weight, double largest, double scale, bool frozen) {
  return "<line class=\"legend-sample\"" + Attr("x1", x) + Attr("y1", y) + Attr("x2", x + 34.0) + Attr("y2", y) +
         StrokeAttrs(weight, largest, scale, frozen) + "/>\n";
}

std::string LegendText(double x, double y, const std::string& text) {
  return Text(x, y + 4.0, text, " font-size=\"11\"" + Attr("fill", kInk));
}

// One sample per role of the layers drawn: bias, input, hidden, output.
void DrawFillLegend(const NetworkPicture& picture, double y, std::string& out) {
  const char* const names[] = {"bias", "input", "hidden", "output"};
  double x = PictureLayout::kMargin + 8.0;
  for (int k = 0; k < 4; ++k) {
    PictureLayer sample;
    sample.bias = k == 0;
    sample.input = k == 1;
    sample.output = k == 3;
    const bool present = std::any_of(picture.layers.begin(), picture.layers.end(), [&](const PictureLayer& layer) {
      return layer.drawn && LayerFill(layer) == LayerFill(sample);
    });
    if (!present) continue;
    out += "<circle class=\"legend-sample\"" + Attr("cx", x) + Attr("cy", y) + " r=\"7\"" + Attr("fill", LayerFill(sample)) +
           Attr("stroke", kInk) + "/>\n";
    out += LegendText(x + 12.0, y, names[k]);
    x += 80.0;
  }
}

void DrawNeuronLegend(const NetworkPicture& picture, double y, std::string& out) {
  const double largest = picture.largestMagnitude > 0.0 ? picture.largestMagnitude : 1.0;
  struct Sample {
    double weight;
    bool frozen;
    const char* text;
  };
  const Sample samples[] = {{largest, false, "strong positive weight"},
                            {-largest, false, "strong negative weight"},
                            {largest * 0.1, false, "weak weight"},
                            {largest * 0.5, true, "frozen (not trainable)"}};
  double x = PictureLayout::kMargin;
  for (const Sample& sample : samples) {
    out += SampleLine(x, y, sample.weight, largest, LineScale(picture.existingConnections), sample.frozen);
    out += LegendText(x + 40.0, y, sample.text);
    x += 185.0;
  }
  DrawFillLegend(picture, y + 22.0, out);
  if (std::any_of(picture.neurons.begin(), picture.neurons.end(), [](const PictureNeuron& n) { return !n.function.empty(); })) {
    out += Text(PictureLayout::kMargin + 340.0, y + 26.0, "italic: a neuron's function where it differs from its layer's",
                " font-size=\"10\" font-style=\"italic\"" + Attr("fill", kInk));
  }
  std::string note = "Width and colour grow with |weight|, up to ";
  AppendGeneral(note, largest, 4);
  note += ". Pruned connections are not drawn.";
  out += Text(PictureLayout::kMargin, y + 48.0, note, " font-size=\"10\"" + Attr("fill", kFaintInk));
  out += Text(PictureLayout::kMargin, y + 62.0, "Curves: connections of a bias layer, and shortcuts around the layers between.",
              " font-size=\"10\"" + Attr("fill", kFaintInk));
}

void DrawLayerLegend(const NetworkPicture& picture, double y, std::string& out) {
  const double x = PictureLayout::kMargin;
  out += "<rect class=\"legend-sample\"" + Attr("x", x) + Attr("y", y - 6.0) + " width=\"34\" height=\"12\"" +
         Attr("fill", kBandColour) + " fill-opacity=\"0.45\"/>\n";
  out += LegendText(x + 40.0, y, "block of connections: the darker, the denser");
  out += "<rect class=\"legend-sample\"" + Attr("x", x + 330.0) + Attr("y", y - 6.0) + " width=\"34\" height=\"12\"" +
         Attr("fill", kBandColour) + " fill-opacity=\"0.12\"/>\n";
  out += LegendText(x + 370.0, y, "sparse block");
  DrawFillLegend(picture, y + 22.0, out);
  const std::string note = "One box per layer, one band per block of connections, in place of " +
                           Count(picture.neuronCount) + " neurons and " + Count(picture.existingConnections) +
                           " connections.";
  out += Text(PictureLayout::kMargin, y + 48.0, note, " font-size=\"10\"" + Attr("fill", kFaintInk));
}

}  // namespace

std::string XmlEscape(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const char c = text[i];
    const std::size_t length = Utf8Length(text, i);
    if (length == 0 || (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n')) {
      out += '?';
      ++i;
      continue;
    }
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default: out.append(text, i, length);
    }
    i += length;
  }
  return out;
}

std::string DrawSvg(const NetworkPicture& picture) {
  const PictureLayout layout(picture);
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  out += "<svg xmlns=\"http://www.w3.org/2000/svg\"" + Attr("width", layout.Width()) + Attr("height", layout.Height()) +
         Attr("viewBox", "0 0 " + Decimal(layout.Width(), 1) + " " + Decimal(layout.Height(), 1)) +
         " font-family=\"DejaVu Sans, Verdana, Arial, sans-serif\">\n";
  out += "<title>" + XmlEscape(TitleLine(picture)) + "</title>\n";
  out += "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
  DrawTitle(picture, layout, out);
  DrawHeadings(picture, layout, out);
  if (picture.neuronView) {
    DrawConnections(picture, layout, out);
    DrawNeurons(picture, layout, out);
  } else {
    out += "<g class=\"blocks\">\n";
    for (std::size_t b = 0; b < picture.blocks.size(); ++b) DrawBlockBand(picture, layout, b, out);
    out += "</g>\n";
    DrawLayerBoxes(picture, layout, out);
  }
  out += "<g class=\"legend\">\n";
  if (picture.neuronView) {
    DrawNeuronLegend(picture, layout.LegendY(), out);
  } else {
    DrawLayerLegend(picture, layout.LegendY(), out);
  }
  out += "</g>\n</svg>\n";
  return out;
}

}  // namespace Netforge
