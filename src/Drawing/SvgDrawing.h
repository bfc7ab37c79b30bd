// SvgDrawing: a NetworkPicture as a self-contained SVG document.
//
// The document needs no fonts, styles or scripts from elsewhere. Elements
// are marked with classes so that programs can find them: in the neuron view
// one element of class "neuron" per neuron (a circle) and one of class
// "connection" per connection (a line, or a path for a curved route); in the
// layer view one "layer" rectangle per drawn layer and one "block" path per
// block. Every number is written with a point, whatever the locale.
// Stateless; thread-safe.
#ifndef NETFORGE_DRAWING_SVGDRAWING_H
#define NETFORGE_DRAWING_SVGDRAWING_H

#include <string>

#include "Drawing/NetworkPicture.h"

namespace Netforge {

// The whole SVG document (UTF-8, ending in a line end).
std::string DrawSvg(const NetworkPicture& picture);

// |text| with the five XML special characters written as entities, and
// control characters other than tab and line end (which XML cannot carry)
// as "?".
std::string XmlEscape(const std::string& text);

}  // namespace Netforge

#endif  // NETFORGE_DRAWING_SVGDRAWING_H
