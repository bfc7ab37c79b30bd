#include "Drawing/PictureLayout.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace Netforge {

namespace {

// Horizontal room: between two columns, and between the bias columns and
// the first column after them. The layer view leaves room for the block
// descriptions between the boxes.
constexpr double kNeuronColumnGap = 200.0;
constexpr double kBiasColumnGap = 150.0;
constexpr double kLayerColumnGap = 360.0;
// Half the width a column's heading may take.
constexpr double kHeadingHalfWidth = 70.0;
// Vertical room.
constexpr double kPlainSpacing = 34.0;     // between neurons
constexpr double kLabelledSpacing = 46.0;  // between neurons when some carry a function label
constexpr double kHeadingRoom = 44.0;      // three heading lines above the columns
constexpr double kNeuronLaneGap = 16.0;
constexpr double kLayerLaneGap = 34.0;
constexpr double kLaneClearance = 18.0;   // between the columns and the first lane
constexpr double kLegendHeight = 76.0;
constexpr double kLegendWidth = 760.0;
constexpr double kTitleCharWidth = 8.6;   // of the 15-unit bold title font
constexpr double kCaptionCharWidth = 7.0;  // of the 12-unit caption font

bool HasNeuronLabels(const NetworkPicture& picture) {
  for (const PictureNeuron& neuron : picture.neurons) {
    if (!neuron.function.empty()) return true;
  }
  return false;
}

// The drawn layers in column order: bias layers first, then the others.
std::vector<int> ColumnOrder(const NetworkPicture& picture) {
  std::vector<int> order;
  for (int pass = 0; pass < 2; ++pass) {
    for (const PictureLayer& layer : picture.layers) {
      if (layer.drawn && layer.bias == (pass == 0)) order.push_back(layer.number);
    }
  }
  return order;
}

}  // namespace

PictureLayout::PictureLayout(const NetworkPicture& picture)
    : neuronView_(picture.neuronView),
      spacing_(HasNeuronLabels(picture) ? kLabelledSpacing : kPlainSpacing),
      columns_(picture.layers.size()),
      routes_(picture.blocks.size()) {
  headingY_ = picture.caption.empty() ? CaptionY() + 8.0 : CaptionY() + 30.0;
  PlaceColumns(picture);
  PlaceRoutes(picture);
  const double titleWidth = kTitleCharWidth * static_cast<double>(TitleLine(picture).size()) + 2.0 * kMargin;
  const double captionWidth = kCaptionCharWidth * static_cast<double>(picture.caption.size()) + 2.0 * kMargin;
  width_ = std::max({width_, kLegendWidth, titleWidth, captionWidth});
  height_ = legendY_ + kLegendHeight + kMargin;
}

double PictureLayout::ColumnHeight(const NetworkPicture& picture, const PictureLayer& layer) const {
  if (!picture.neuronView) return 40.0 + 36.0 * std::log10(1.0 + layer.neurons);
  return layer.neurons > 1 ? spacing_ * (layer.neurons - 1) : 0.0;
}

void PictureLayout::PlaceColumns(const NetworkPicture& picture) {
  const std::vector<int> order = ColumnOrder(picture);
  double tallest = 0.0;
  for (int layer : order) tallest = std::max(tallest, ColumnHeight(picture, picture.layers[layer]));
  const double halfColumn = neuronView_ ? kHeadingHalfWidth : std::max(kHeadingHalfWidth, kBoxWidth / 2.0);
  double x = kMargin + halfColumn;
  for (std::size_t i = 0; i < order.size(); ++i) {
    const PictureLayer& layer = picture.layers[order[i]];
    ColumnPlace& place = columns_[order[i]];
    const double height = ColumnHeight(picture, layer);
    place.drawn = true;
    place.x = x;
    // Bias columns hang from the top, apart from the centred stacks.
    place.top = layer.bias ? 0.0 : (tallest - height) / 2.0;
    place.bottom = place.top + height;
    const bool nextIsBias = i + 1 < order.size() && picture.layers[order[i + 1]].bias;
    const double gap = neuronView_ ? kNeuronColumnGap : kLayerColumnGap;
    x += layer.bias && !nextIsBias ? (neuronView_ ? kBiasColumnGap : kBoxWidth + kBiasColumnGap / 2.0) : gap;
  }
  width_ = order.empty() ? 0.0 : columns_[order.back()].x + halfColumn + kMargin;
  // Vertical places are relative to the columns' top until the routes know
  // how much room their lanes take above.
  columnsHeight_ = tallest;
}

void PictureLayout::PlaceRoutes(const NetworkPicture& picture) {
  // Column index of each layer, to tell neighbours from shortcuts.
  std::vector<int> columnIndex(picture.layers.size(), -1);
  {
    std::vector<std::pair<double, int>> xs;
    for (std::size_t k = 0; k < columns_.size(); ++k) {
      if (columns_[k].drawn) xs.emplace_back(columns_[k].x, static_cast<int>(k));
    }
    std::sort(xs.begin(), xs.end());
    for (std::size_t i = 0; i < xs.size(); ++i) columnIndex[xs[i].second] = static_cast<int>(i);
  }
  // Curved blocks, nearer lanes for shorter spans.
  std::vector<std::pair<int, std::size_t>> above;
  std::vector<std::pair<int, std::size_t>> below;
  for (std::size_t b = 0; b < picture.blocks.size(); ++b) {
    const PictureBlock& block = picture.blocks[b];
    const int from = columnIndex[block.fromLayer];
    const int to = columnIndex[block.toLayer];
    const bool bias = picture.layers[block.fromLayer].bias || picture.layers[block.toLayer].bias;
    const bool forward = block.toLayer > block.fromLayer;
    if (forward && !bias && to == from + 1) continue;
    routes_[b].curved = true;
    (forward ? above : below).emplace_back(std::abs(to - from), b);
  }
  std::stable_sort(above.begin(), above.end());
  std::stable_sort(below.begin(), below.end());
  const double laneGap = neuronView_ ? kNeuronLaneGap : kLayerLaneGap;
  const double radius = neuronView_ ? kNeuronRadius : 0.0;
  const double aboveRoom = above.empty() ? 0.0 : kLaneClearance + laneGap * static_cast<double>(above.size());
  const double belowRoom = below.empty() ? 0.0 : kLaneClearance + laneGap * static_cast<double>(below.size());
  columnsTop_ = headingY_ + kHeadingRoom + aboveRoom + radius;
  for (ColumnPlace& place : columns_) {
    place.top += columnsTop_;
    place.bottom += columnsTop_;
  }
  const double columnsBottom = columnsTop_ + columnsHeight_ + radius;
  for (std::size_t i = 0; i < above.size(); ++i) {
    routes_[above[i].second].laneY = columnsTop_ - radius - kLaneClearance - laneGap * static_cast<double>(i);
  }
  for (std::size_t i = 0; i < below.size(); ++i) {
    routes_[below[i].second].laneY = columnsBottom + kLaneClearance + laneGap * static_cast<double>(i);
  }
  // Function labels hang below the lowest neurons.
  const double labelRoom = neuronView_ ? 14.0 : 0.0;
  legendY_ = columnsBottom + labelRoom + belowRoom + 28.0;
}

Point PictureLayout::NeuronCentre(int layer, int index) const {
  const ColumnPlace& place = Column(layer);
  return Point{place.x, place.top + spacing_ * index};
}

std::vector<Point> PictureLayout::CurvePoints(Point from, Point to, double laneY, double reach) {
  const double half = reach / 2.0;
  return {from,
          Point{from.x + half, from.y},
          Point{from.x + half, laneY},
          Point{from.x + reach, laneY},
          Point{to.x - reach, laneY},
          Point{to.x - half, laneY},
          Point{to.x - half, to.y},
          to};
}

double PictureLayout::CurveReach() const { return neuronView_ ? 110.0 : 100.0; }

}  // namespace Netforge
