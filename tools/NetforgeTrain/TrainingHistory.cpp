#include "TrainingHistory.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "Common/NumberText.h"

namespace {

// Plot geometry, in SVG user units.
constexpr double kWidth = 640.0;
constexpr double kHeight = 400.0;
constexpr double kLeft = 70.0;
constexpr double kRight = 20.0;
constexpr double kTop = 40.0;
constexpr double kBottom = 50.0;
constexpr const char* kTrainingColour = "#1f77b4";
constexpr const char* kValidationColour = "#ff7f0e";

void AppendCoordinate(std::string& out, double value) { Netforge::AppendFixed(out, value, 2); }

std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default:
        // Control bytes are not allowed in XML text.
        if (static_cast<unsigned char>(c) >= 0x20 || c == '\t') out += c;
    }
  }
  return out;
}

// Maps epochs and errors to the plot area; errors on a log scale spanning
// whole decades.
class Axes {
 public:
  Axes(int lastEpoch, double smallest, double largest)
      : lastEpoch_(std::max(lastEpoch, 2)),
        lowDecade_(std::floor(std::log10(smallest))),
        highDecade_(std::max(std::ceil(std::log10(largest)), std::floor(std::log10(smallest)) + 1.0)) {}

  double X(double epoch) const { return kLeft + (epoch - 1.0) / (lastEpoch_ - 1.0) * (kWidth - kLeft - kRight); }
  double Y(double error) const {
    const double fraction = (std::log10(error) - lowDecade_) / (highDecade_ - lowDecade_);
    return kHeight - kBottom - fraction * (kHeight - kTop - kBottom);
  }
  int LowDecade() const { return static_cast<int>(lowDecade_); }
  int HighDecade() const { return static_cast<int>(highDecade_); }
  int LastEpoch() const { return lastEpoch_; }

 private:
  int lastEpoch_;
  double lowDecade_;
  double highDecade_;
};

// The round step (1, 2, 5, 10, 20, 50, ...) that labels at most six epochs
// up to |last|.
long EpochStep(long last) {
  for (long decade = 1;; decade *= 10) {
    for (long factor : {1L, 2L, 5L}) {
      if (last / (factor * decade) <= 6) return factor * decade;
    }
  }
}

}  // namespace

std::string TrainingHistory::Csv() const {
  std::string out = "epoch,training_error,validation_error,seconds\n";
  for (const TEpochReport& e : epochs_) {
    Netforge::AppendLong(out, e.epoch);
    out += ',';
    Netforge::AppendGeneral(out, e.trainingError, 17);
    out += ',';
    if (e.hasValidation) Netforge::AppendGeneral(out, e.validationError, 17);
    out += ',';
    Netforge::AppendFixed(out, e.seconds, 6);
    out += '\n';
  }
  return out;
}

std::string TrainingHistory::Svg(int bestEpoch, const std::string& title) const {
  // Errors of 0 cannot stand on a log scale; they are drawn at the floor.
  constexpr double kFloor = 1e-12;
  double smallest = std::numeric_limits<double>::infinity();
  double largest = 0.0;
  const bool validation = !epochs_.empty() && epochs_.front().hasValidation;
  for (const TEpochReport& e : epochs_) {
    for (double error : {e.trainingError, validation ? e.validationError : e.trainingError}) {
      const double value = std::max(error, kFloor);
      smallest = std::min(smallest, value);
      largest = std::max(largest, value);
    }
  }
  if (epochs_.empty()) smallest = largest = 1.0;
  const Axes axes(epochs_.empty() ? 1 : epochs_.back().epoch, smallest, largest);

  std::string out;
  out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  out += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"640\" height=\"400\" viewBox=\"0 0 640 400\" "
         "font-family=\"sans-serif\" font-size=\"12\">\n";
  out += "<rect x=\"0\" y=\"0\" width=\"640\" height=\"400\" fill=\"white\"/>\n";
  out += "<text x=\"320\" y=\"22\" text-anchor=\"middle\" font-size=\"14\">" + Escaped(title) + "</text>\n";

  // Decade grid lines with their labels, and the frame.
  for (int d = axes.LowDecade(); d <= axes.HighDecade(); ++d) {
    const double y = axes.Y(std::pow(10.0, d));
    out += "<line x1=\"";
    AppendCoordinate(out, kLeft);
    out += "\" y1=\"";
    AppendCoordinate(out, y);
    out += "\" x2=\"";
    AppendCoordinate(out, kWidth - kRight);
    out += "\" y2=\"";
    AppendCoordinate(out, y);
    out += "\" stroke=\"#dddddd\"/>\n<text x=\"";
    AppendCoordinate(out, kLeft - 6);
    out += "\" y=\"";
    AppendCoordinate(out, y + 4);
    out += "\" text-anchor=\"end\">1e";
    Netforge::AppendLong(out, d);
    out += "</text>\n";
  }
  out += "<rect x=\"70\" y=\"40\" width=\"550\" height=\"310\" fill=\"none\" stroke=\"black\"/>\n";
  // Epoch ticks at a round step giving at most about six labels.
  const long step = EpochStep(axes.LastEpoch());
  for (long epoch = step; epoch <= axes.LastEpoch(); epoch += step) {
    out += "<text x=\"";
    AppendCoordinate(out, axes.X(static_cast<double>(epoch)));
    out += "\" y=\"366\" text-anchor=\"middle\">";
    Netforge::AppendLong(out, epoch);
    out += "</text>\n";
  }
  out += "<text x=\"345\" y=\"388\" text-anchor=\"middle\">epoch</text>\n";
  out += "<text x=\"16\" y=\"195\" text-anchor=\"middle\" transform=\"rotate(-90 16 195)\">error (log scale)</text>\n";

  const auto curve = [&](const char* name, const char* colour, bool validationCurve) {
    out += "<polyline class=\"";
    out += name;
    out += "\" fill=\"none\" stroke=\"";
    out += colour;
    out += "\" stroke-width=\"1.5\" points=\"";
    bool first = true;
    for (const TEpochReport& e : epochs_) {
      if (!first) out += ' ';
      first = false;
      AppendCoordinate(out, axes.X(e.epoch));
      out += ',';
      AppendCoordinate(out, axes.Y(std::max(validationCurve ? e.validationError : e.trainingError, kFloor)));
    }
    out += "\"/>\n";
  };
  curve("training", kTrainingColour, false);
  if (validation) curve("validation", kValidationColour, true);

  for (const TEpochReport& e : epochs_) {
    if (e.epoch != bestEpoch) continue;
    const double x = axes.X(e.epoch);
    const double y = axes.Y(std::max(validation ? e.validationError : e.trainingError, kFloor));
    out += "<line class=\"best\" x1=\"";
    AppendCoordinate(out, x);
    out += "\" y1=\"40.00\" x2=\"";
    AppendCoordinate(out, x);
    out += "\" y2=\"350.00\" stroke=\"#2ca02c\" stroke-dasharray=\"4 3\"/>\n<circle cx=\"";
    AppendCoordinate(out, x);
    out += "\" cy=\"";
    AppendCoordinate(out, y);
    out += "\" r=\"4\" fill=\"#2ca02c\"/>\n";
  }

  // Legend.
  out += "<line x1=\"440\" y1=\"58\" x2=\"465\" y2=\"58\" stroke=\"" + std::string(kTrainingColour) +
         "\" stroke-width=\"2\"/><text x=\"470\" y=\"62\">training</text>\n";
  if (validation) {
    out += "<line x1=\"440\" y1=\"76\" x2=\"465\" y2=\"76\" stroke=\"" + std::string(kValidationColour) +
           "\" stroke-width=\"2\"/><text x=\"470\" y=\"80\">validation</text>\n";
  }
  out += "<line x1=\"440\" y1=\"94\" x2=\"465\" y2=\"94\" stroke=\"#2ca02c\" stroke-dasharray=\"4 3\"/>"
         "<text x=\"470\" y=\"98\">best epoch ";
  Netforge::AppendLong(out, bestEpoch);
  out += "</text>\n</svg>\n";
  return out;
}
