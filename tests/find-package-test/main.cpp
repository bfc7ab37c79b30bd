// Uses the installed library through its public headers.
#include <cstdio>

#include "Common/StrCase.h"

int main() {
  if (Netforge::strcasecmp("Layers", "LAYERS") != 0) return 1;
  std::puts("netforge consumer ok");
  return 0;
}
