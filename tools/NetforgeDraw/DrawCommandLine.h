// The command line of NetforgeDraw: options, the network file and the
// picture file.
#ifndef NETFORGE_DRAWTOOL_DRAWCOMMANDLINE_H
#define NETFORGE_DRAWTOOL_DRAWCOMMANDLINE_H

#include <string>

#include "Drawing/NetworkPicture.h"

enum class PictureFormat { kSvg, kDot };

struct DrawCommandLine {
  bool help = false;             // --help or -h: print the help, nothing else
  bool version = false;          // --version: print the version, nothing else
  std::string network;           // the network file to read
  std::string output;            // the picture file to write
  PictureFormat format = PictureFormat::kSvg;
  Netforge::PictureOptions options;
};

// Parses argv[1..argc-1]. Returns "" and fills |line|, or the message for a
// command line that cannot be used. Words after "--" are file names even
// when they start with "-". Without --format the format follows the
// output's ending: ".dot" or ".gv" (any case) give DOT, anything else SVG.
std::string ParseDrawCommandLine(int argc, char* argv[], DrawCommandLine& line);

#endif  // NETFORGE_DRAWTOOL_DRAWCOMMANDLINE_H
