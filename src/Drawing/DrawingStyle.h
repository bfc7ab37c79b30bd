// DrawingStyle: the colours and line widths every drawing of a network uses,
// so that the SVG and the Graphviz drawing read alike.
//
// A connection's line shows its weight: blue for positive, red for negative,
// darker and wider the larger the magnitude is against the network's largest
// one. Infinite weights draw as the largest, NaN weights in grey at the
// smallest width. Layers are filled by their role. Stateless; thread-safe.
#ifndef NETFORGE_DRAWING_DRAWINGSTYLE_H
#define NETFORGE_DRAWING_DRAWINGSTYLE_H

#include <string>

namespace Netforge {

struct PictureLayer;

inline constexpr double kThinnestLine = 0.6;
inline constexpr double kWidestLine = 4.0;

// "#rrggbb" for |weight| where |largest| is the network's largest finite
// magnitude (0 when there is none).
std::string WeightColour(double weight, double largest);
// Line width from kThinnestLine to kWidestLine times |scale|.
double WeightWidth(double weight, double largest, double scale);

// The |scale| of WeightWidth for a drawing of |connections| lines: 1 up to
// 200 lines, then narrower (down to a third), so that dense drawings do not
// turn into a solid mass of wide strokes.
double LineScale(long connections);

// Fill colour of a layer's neurons or box: bias, input, output, hidden.
std::string LayerFill(const PictureLayer& layer);

// The dash pattern of frozen connections (an SVG stroke-dasharray).
inline constexpr const char* kFrozenDash = "8 5";

// Numbers for drawing files: at most |decimals| digits after the point,
// trailing zeros dropped, always with a point (never a comma).
std::string Decimal(double value, int decimals);

}  // namespace Netforge

#endif  // NETFORGE_DRAWING_DRAWINGSTYLE_H
