// Checks what a program embedding Netforge sees: the version header agrees
// with the library, and the library's console texts can be sent elsewhere.
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "Common/Console.h"
#include "Common/Version.h"
#include "KQmessage/KQML.h"

int main() {
  if (std::strcmp(Netforge::LibraryVersion(), NETFORGE_VERSION_STRING) != 0) return 1;
  std::string seen;
  Netforge::ScopedConsoleSink sink([&](Netforge::ConsoleStream, std::string_view text) { seen += text; });
  CheckToken(':');
  if (seen != "special character unexpected\n") return 1;
  std::printf("netforge %s embedded ok\n", NETFORGE_VERSION_STRING);
  return 0;
}
