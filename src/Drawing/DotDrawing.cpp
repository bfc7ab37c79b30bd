#include "Drawing/DotDrawing.h"

#include <cstddef>

#include "Common/NumberText.h"
#include "Drawing/DrawingStyle.h"

namespace Netforge {

namespace {

std::string Name(int layer) {
  std::string name = "L";
  AppendLong(name, layer);
  return name;
}

std::string Name(int layer, int neuron) {
  std::string name = Name(layer) + "N";
  AppendLong(name, neuron);
  return name;
}

std::string Attr(const char* name, const std::string& value) { return std::string(name) + "=" + DotQuote(value); }

std::string LayerLabel(const PictureLayer& layer) {
  return LayerHeading(layer) + "\n" + LayerKind(layer) + "\n" + LayerRole(layer);
}

void WriteNeuronClusters(const NetworkPicture& picture, std::string& out) {
  std::size_t next = 0;  // neurons are listed layer by layer
  for (const PictureLayer& layer : picture.layers) {
    if (!layer.drawn) {
      next += static_cast<std::size_t>(layer.neurons);
      continue;
    }
    out += "  subgraph cluster_" + Name(layer.number) + " {\n";
    out += "    " + Attr("label", LayerLabel(layer)) + ";\n";
    out += "    style=rounded;\n    color=\"#9ca3af\";\n";
    out += "    node [" + Attr("fillcolor", LayerFill(layer)) + "];\n";
    for (int i = 0; i < layer.neurons; ++i, ++next) {
      const PictureNeuron& neuron = picture.neurons[next];
      std::string label;
      AppendLong(label, neuron.index);
      // A function of its own goes beside the circle, so circles keep one size.
      std::string attributes = Attr("label", label);
      if (!neuron.function.empty()) attributes += ", " + Attr("xlabel", neuron.function);
      out += "    " + Name(layer.number, neuron.index) + " [" + attributes + "];\n";
    }
    out += "  }\n";
  }
}

void WriteConnections(const NetworkPicture& picture, std::string& out) {
  const double scale = LineScale(picture.existingConnections);
  for (const PictureConnection& c : picture.connections) {
    std::string tip = "weight ";
    AppendGeneral(tip, c.weight, 6);
    if (c.frozen) tip += ", frozen";
    out += "  " + Name(c.fromLayer, c.fromNeuron) + " -> " + Name(c.toLayer, c.toNeuron) + " [" +
           Attr("color", WeightColour(c.weight, picture.largestMagnitude)) + ", " +
           Attr("penwidth", Decimal(WeightWidth(c.weight, picture.largestMagnitude, scale), 2)) + ", " + Attr("tooltip", tip);
    if (c.frozen) out += ", style=dashed";
    out += "];\n";
  }
}

void WriteLayerNodes(const NetworkPicture& picture, std::string& out) {
  for (const PictureLayer& layer : picture.layers) {
    if (!layer.drawn) continue;
    out += "  " + Name(layer.number) + " [shape=box, style=\"rounded,filled\", " + Attr("fillcolor", LayerFill(layer)) +
           ", " + Attr("label", LayerLabel(layer)) + "];\n";
  }
}

void WriteBlockEdges(const NetworkPicture& picture, std::string& out) {
  for (const PictureBlock& block : picture.blocks) {
    std::string label;
    for (const std::string& line : BlockSummary(block)) label += (label.empty() ? "" : "\n") + line;
    const double density =
        block.possible > 0 ? static_cast<double>(block.existing) / static_cast<double>(block.possible) : 0.0;
    out += "  " + Name(block.fromLayer) + " -> " + Name(block.toLayer) + " [" + Attr("label", label) + ", " +
           Attr("penwidth", Decimal(1.0 + 5.0 * density, 2)) + "];\n";
  }
}

}  // namespace

std::string DotQuote(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      out += '?';
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string DrawDot(const NetworkPicture& picture) {
  std::string title = TitleLine(picture);
  if (!picture.caption.empty()) title += "\n" + picture.caption;
  std::string out = "digraph network {\n";
  out += "  graph [rankdir=LR, labelloc=t, fontname=\"Helvetica\", " + Attr("label", title) + "];\n";
  if (picture.neuronView) {
    out += "  node [shape=circle, fixedsize=true, width=0.4, style=filled, fontname=\"Helvetica\", fontsize=10];\n";
    out += "  edge [arrowhead=none];\n";
    WriteNeuronClusters(picture, out);
    WriteConnections(picture, out);
  } else {
    out += "  node [fontname=\"Helvetica\", fontsize=11];\n";
    out += "  edge [fontname=\"Helvetica\", fontsize=9, color=\"#475569\"];\n";
    WriteLayerNodes(picture, out);
    WriteBlockEdges(picture, out);
  }
  return out + "}\n";
}

}  // namespace Netforge
