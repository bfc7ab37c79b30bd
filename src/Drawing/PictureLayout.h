// PictureLayout: where everything of a NetworkPicture goes on a page.
//
// Layers are columns from left to right in layer order, bias layers set
// apart on the left. In the neuron view a column is a stack of neuron
// circles, centred on the tallest column; in the layer view it is one box
// whose height grows with the logarithm of the neuron count. A block between
// a layer and the next column is drawn straight; every other block (bias
// blocks, shortcuts across layers, blocks back into the same or a lower
// layer) is a curve through a lane of its own, above the columns for
// forward blocks and below them for backward ones, so that it passes around
// the layers between. Shorter curves take the lanes nearer the columns.
//
// A layout holds only numbers; it refers to the picture it was made from
// by layer number and does not keep it. Pure computation; thread-safe.
#ifndef NETFORGE_DRAWING_PICTURELAYOUT_H
#define NETFORGE_DRAWING_PICTURELAYOUT_H

#include <vector>

#include "Drawing/NetworkPicture.h"

namespace Netforge {

struct Point {
  double x = 0.0;
  double y = 0.0;
};

// The layout of one layer. Layers with no neurons and no block are not
// drawn at all (an MLP without a bias keeps an empty layer 0).
struct ColumnPlace {
  bool drawn = false;
  double x = 0.0;       // centre of the column
  double top = 0.0;     // first neuron's centre, or the box's top
  double bottom = 0.0;  // last neuron's centre, or the box's bottom
};

// A block's route: straight from source to target, or a cubic curve whose
// two control points lie at |laneY|.
struct BlockRoute {
  bool curved = false;
  double laneY = 0.0;
};

class PictureLayout {
 public:
  // Sizes in picture units (SVG user units, which renderers show as pixels).
  static constexpr double kMargin = 24.0;
  static constexpr double kNeuronRadius = 11.0;
  static constexpr double kBoxWidth = 150.0;

  explicit PictureLayout(const NetworkPicture& picture);

  double Width() const { return width_; }
  double Height() const { return height_; }
  double TitleY() const { return kMargin + 12.0; }
  double CaptionY() const { return kMargin + 32.0; }
  // Baseline of the first heading line above the columns.
  double HeadingY() const { return headingY_; }
  // Top of the legend area below everything else.
  double LegendY() const { return legendY_; }

  const ColumnPlace& Column(int layer) const { return columns_[static_cast<std::size_t>(layer)]; }
  // Centre of neuron |index| of |layer| (neuron view).
  Point NeuronCentre(int layer, int index) const;
  // Distance between two neighbouring neurons of a column (neuron view).
  double NeuronSpacing() const { return spacing_; }
  // The route of picture.blocks[i].
  const BlockRoute& Route(std::size_t block) const { return routes_[block]; }
  // The route of a curved connection from |from| to |to| through the lane at
  // |laneY|: it leaves |from| to the right, climbs (or drops) to the lane
  // within |reach| of it, follows the lane, and comes down into |to| from its
  // left over the last |reach|, so that it turns only in the free room
  // between columns. As SVG path data: M p0 C p1 p2 p3 L p4 C p5 p6 p7.
  static std::vector<Point> CurvePoints(Point from, Point to, double laneY, double reach);
  // The reach of this layout's curves.
  double CurveReach() const;

 private:
  void PlaceColumns(const NetworkPicture& picture);
  void PlaceRoutes(const NetworkPicture& picture);
  double ColumnHeight(const NetworkPicture& picture, const PictureLayer& layer) const;

  bool neuronView_ = false;
  double spacing_ = 0.0;
  double headingY_ = 0.0;
  double columnsTop_ = 0.0;     // centre of the top neurons, top of the tallest box
  double columnsHeight_ = 0.0;  // from there to the lowest neuron or box bottom
  double legendY_ = 0.0;
  double width_ = 0.0;
  double height_ = 0.0;
  std::vector<ColumnPlace> columns_;
  std::vector<BlockRoute> routes_;
};

}  // namespace Netforge

#endif  // NETFORGE_DRAWING_PICTURELAYOUT_H
