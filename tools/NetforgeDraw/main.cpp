// NetforgeDraw: draws the network of a network file as an SVG picture or a
// Graphviz DOT graph.
//
// Usage: NetforgeDraw [options] NETWORK OUTPUT (see kHelp). The tool only
// reads and writes: the picture itself comes from the library's Drawing
// subsystem. The output is replaced atomically, and on any failure nothing
// is written: one message on standard error and exit status 1.
#include <exception>
#include <filesystem>
#include <iostream>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <system_error>

#include "Common/NumberText.h"
#include "Common/Version.h"
#include "DrawCommandLine.h"
#include "Drawing/DotDrawing.h"
#include "Drawing/SvgDrawing.h"
#include "FileHandler/ParseTools.h"
#include "KQmessage/TException.h"
#include "NeuralNets/TBasicNetwork.h"
#include "ToolSupport/ReplacedFile.h"

namespace {

const char* const kUsage = "Usage: NetforgeDraw [--format svg|dot] [--view auto|neurons|layers] "
                           "[--max-connections N] NETWORK OUTPUT\n";

const char* const kHelp =
    "Usage: NetforgeDraw [options] NETWORK OUTPUT\n"
    "\n"
    "Draws the network of the network file NETWORK into OUTPUT: an SVG picture\n"
    "(layers as columns, neurons as circles, connections as lines whose width\n"
    "and colour show the weight, frozen connections dashed, a legend), or a\n"
    "Graphviz DOT graph of the same.\n"
    "\n"
    "Options:\n"
    "  --format svg|dot       the output format; without it, an OUTPUT ending in\n"
    "                         .dot or .gv gives DOT, any other SVG\n"
    "  --view auto|neurons|layers\n"
    "                         neurons: every neuron and connection; layers: one\n"
    "                         box per layer and one band per block of\n"
    "                         connections, with its size, density and weight\n"
    "                         range; auto (the default): neurons up to\n"
    "                         --max-connections connections and 400 neurons\n"
    "  --max-connections N    the limit of the automatic view (default 2000)\n"
    "  --help, -h             this text\n"
    "  --version              the version\n"
    "  --                     what follows are file names, even if they\n"
    "                         start with -\n"
    "\n"
    "OUTPUT is replaced only when the whole picture is written. Exit status 0\n"
    "on success; 1 after a failure, described on standard error (errors in\n"
    "NETWORK as NETWORK:LINE:COLUMN: message).\n";

int Fail(const std::string& message) {
  std::cerr << message << '\n';
  return 1;
}

std::string Place(const FileTools::Error& error) {
  if (error.line <= 0) return "";
  std::string place = ":";
  Netforge::AppendLong(place, static_cast<long>(error.line));
  place += ':';
  Netforge::AppendLong(place, static_cast<long>(error.column));
  return place;
}

// Writes |text| as the whole of |path|, replacing it only when all is
// written. Returns "" on success, otherwise what failed ("cannot create a
// temporary file beside it", "cannot write it", "cannot replace it: ...").
std::string WriteOutput(const std::string& path, const std::string& text) {
  std::error_code ignored;
  if (std::filesystem::is_directory(path, ignored)) {
    return "cannot replace it: " + std::make_error_code(std::errc::is_a_directory).message();
  }
  ReplacedFile file(path);
  if (file.Error()) return "cannot create a temporary file beside it";
  if (!file.Write(text)) return "cannot write it";
  if (!file.Commit()) return "cannot replace it: " + file.Error().message();
  return "";
}

const char* TextOrEmpty(const char* text) { return text != nullptr ? text : ""; }

int Draw(const DrawCommandLine& line) {
  std::unique_ptr<TBasicNetwork> network;
  try {
    FileTools tools;
    network.reset(tools.LoadNetwork(line.network.c_str(), nullptr));
  } catch (const FileTools::Error& error) {
    if (error.line == 0 && error.message == "Error on File Open") return Fail(line.network + ": cannot open the file");
    return Fail(line.network + Place(error) + ": " + error.message);
  }
  const Netforge::NetworkPicture picture = Netforge::DescribeNetwork(*network, line.options);
  network.reset();
  const std::string text =
      line.format == PictureFormat::kDot ? Netforge::DrawDot(picture) : Netforge::DrawSvg(picture);
  const std::string failure = WriteOutput(line.output, text);
  if (!failure.empty()) return Fail(line.output + ": " + failure);
  return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
  DrawCommandLine line;
  const std::string error = ParseDrawCommandLine(argc, argv, line);
  if (!error.empty()) return Fail("NetforgeDraw: " + error + "\n" + kUsage);
  if (line.help) {
    std::cout << kHelp << std::flush;
    return std::cout ? 0 : 1;
  }
  if (line.version) {
    std::cout << Netforge::VersionLine("NetforgeDraw") << '\n' << std::flush;
    return std::cout ? 0 : 1;
  }
  try {
    return Draw(line);
  } catch (const TException& exception) {
    return Fail(line.network + ": " + TextOrEmpty(exception.message) + " (" + TextOrEmpty(exception.kind) + ")");
  } catch (const std::bad_alloc&) {
    return Fail("NetforgeDraw: not enough memory");
  } catch (const std::length_error& error) {
    return Fail(line.network + ": too large: " + error.what());
  } catch (const std::exception& error) {
    return Fail("NetforgeDraw: " + std::string(error.what()));
  }
}
