#include "DrawCommandLine.h"

#include <cctype>
#include <cstring>
#include <vector>

#include "Common/NumberText.h"

namespace {

bool EndsWith(const std::string& text, const char* ending) {
  const std::size_t n = std::strlen(ending);
  if (text.size() < n) return false;
  for (std::size_t i = 0; i < n; ++i) {
    if (std::tolower(static_cast<unsigned char>(text[text.size() - n + i])) != ending[i]) return false;
  }
  return true;
}

std::string ParseFormat(const std::string& value, PictureFormat& format) {
  if (value == "svg") {
    format = PictureFormat::kSvg;
  } else if (value == "dot") {
    format = PictureFormat::kDot;
  } else {
    return "unknown format \"" + value + "\" (svg or dot)";
  }
  return "";
}

std::string ParseView(const std::string& value, Netforge::PictureView& view) {
  if (value == "auto") {
    view = Netforge::PictureView::kAuto;
  } else if (value == "neurons") {
    view = Netforge::PictureView::kNeurons;
  } else if (value == "layers") {
    view = Netforge::PictureView::kLayers;
  } else {
    return "unknown view \"" + value + "\" (auto, neurons or layers)";
  }
  return "";
}

std::string ParseLimit(const std::string& value, long& limit) {
  const char* end = nullptr;
  if (value.empty() || !std::isdigit(static_cast<unsigned char>(value[0])) ||
      Netforge::ScanLong(value.c_str(), limit, 0, 1000000000L, &end) != Netforge::ScanResult::kOk || *end != '\0') {
    return "--max-connections takes a whole number from 0 to 1000000000";
  }
  return "";
}

}  // namespace

std::string ParseDrawCommandLine(int argc, char* argv[], DrawCommandLine& line) {
  std::vector<std::string> files;
  bool formatGiven = false;
  bool optionsEnded = false;  // after "--" every word is a file name
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (optionsEnded) {
      files.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (arg == "--help" || arg == "-h") {
      line.help = true;
      return "";
    }
    if (arg == "--version") {
      line.version = true;
      return "";
    }
    const bool takesValue = arg == "--format" || arg == "--view" || arg == "--max-connections";
    if (!takesValue) {
      if (arg.size() > 1 && arg[0] == '-') return "unknown option " + arg;
      files.push_back(arg);
      continue;
    }
    if (i + 1 >= argc) return arg + " needs a value";
    const std::string value = argv[++i];
    std::string error;
    if (arg == "--format") {
      error = ParseFormat(value, line.format);
      formatGiven = true;
    } else if (arg == "--view") {
      error = ParseView(value, line.options.view);
    } else {
      error = ParseLimit(value, line.options.maxConnections);
    }
    if (!error.empty()) return error;
  }
  if (files.size() != 2) return "expected a network file and an output file";
  line.network = files[0];
  line.output = files[1];
  if (line.network.empty() || line.output.empty()) return "a file name is empty";
  if (!formatGiven) line.format = EndsWith(line.output, ".dot") || EndsWith(line.output, ".gv") ? PictureFormat::kDot : PictureFormat::kSvg;
  line.options.caption = line.network;
  return "";
}
