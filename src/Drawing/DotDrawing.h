// DotDrawing: a NetworkPicture as a Graphviz DOT graph, for users who lay
// networks out with Graphviz.
//
// The graph flows left to right. In the neuron view each layer is a cluster
// of neuron nodes named "L<layer>N<index>" (labelled with the index, and a
// function of the neuron's own as the external label) and each connection an edge with
// the colour and width of the SVG drawing, dashed when frozen, its weight in
// the tooltip; in the layer view each layer is one box node "L<layer>" and
// each block one edge labelled with its size, density and weight range. The
// graph's label is the title line. Every number is written with a point,
// whatever the locale. Stateless; thread-safe.
#ifndef NETFORGE_DRAWING_DOTDRAWING_H
#define NETFORGE_DRAWING_DOTDRAWING_H

#include <string>

#include "Drawing/NetworkPicture.h"

namespace Netforge {

// The whole DOT text (ending in a line end).
std::string DrawDot(const NetworkPicture& picture);

// |text| as a DOT double-quoted string: quotes and backslashes escaped, line
// ends as "\n", other control characters as "?".
std::string DotQuote(const std::string& text);

}  // namespace Netforge

#endif  // NETFORGE_DRAWING_DOTDRAWING_H
