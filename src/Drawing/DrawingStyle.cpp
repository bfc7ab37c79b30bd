#include "Drawing/DrawingStyle.h"

#include <algorithm>
#include <cmath>

#include "Common/NumberText.h"
#include "Drawing/NetworkPicture.h"

namespace Netforge {

namespace {

struct Rgb {
  double r, g, b;
};

// Light and dark ends of the two weight scales.
constexpr Rgb kPositiveLight{198, 219, 239};
constexpr Rgb kPositiveDark{8, 69, 148};
constexpr Rgb kNegativeLight{252, 187, 161};
constexpr Rgb kNegativeDark{165, 15, 21};

// |weight|'s magnitude against |largest|, in [0, 1].
double Strength(double weight, double largest) {
  if (std::isinf(weight)) return 1.0;
  if (std::isnan(weight) || !(largest > 0.0)) return 0.0;
  return std::min(1.0, std::fabs(weight) / largest);
}

void AppendHexByte(std::string& out, double value) {
  const int byte = static_cast<int>(std::lround(std::clamp(value, 0.0, 255.0)));
  const char* const digits = "0123456789abcdef";
  out += digits[byte / 16];
  out += digits[byte % 16];
}

std::string Mix(Rgb light, Rgb dark, double t) {
  std::string colour = "#";
  AppendHexByte(colour, light.r + (dark.r - light.r) * t);
  AppendHexByte(colour, light.g + (dark.g - light.g) * t);
  AppendHexByte(colour, light.b + (dark.b - light.b) * t);
  return colour;
}

}  // namespace

std::string WeightColour(double weight, double largest) {
  if (std::isnan(weight)) return "#999999";
  // The light end is kept faintly visible: a quarter of the way to the dark one.
  const double t = 0.25 + 0.75 * Strength(weight, largest);
  return weight < 0.0 ? Mix(kNegativeLight, kNegativeDark, t) : Mix(kPositiveLight, kPositiveDark, t);
}

double WeightWidth(double weight, double largest, double scale) {
  return (kThinnestLine + (kWidestLine - kThinnestLine) * Strength(weight, largest)) * scale;
}

double LineScale(long connections) {
  if (connections <= 200) return 1.0;
  return std::max(1.0 / 3.0, std::sqrt(200.0 / static_cast<double>(connections)));
}

std::string LayerFill(const PictureLayer& layer) {
  if (layer.bias) return "#fde68a";
  if (layer.input) return "#bbf7d0";
  if (layer.output) return "#fed7aa";
  return "#e5e7eb";
}

std::string Decimal(double value, int decimals) {
  std::string text;
  AppendFixed(text, value, decimals);
  if (text.find('.') != std::string::npos) {
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
  }
  if (text == "-0") text = "0";
  return text;
}

}  // namespace Netforge
