#include "Common/Version.h"

namespace Netforge {

const char* LibraryVersion() { return NETFORGE_VERSION_STRING; }

std::string VersionLine(const char* tool) {
  std::string line = tool;
  line += ' ';
  line += LibraryVersion();
  return line;
}

}  // namespace Netforge
