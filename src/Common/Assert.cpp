#include "Common/Assert.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace Netforge::detail {

namespace {

// __FILE__ is whatever path the compiler was given; report it relative to the
// source root so the message is the same on every machine.
const char* ShortFileName(const char* file) {
  static const char* const kRoots[] = {"/src/", "/tools/"};
  const char* best = file;
  for (const char* root : kRoots) {
    for (const char* hit = std::strstr(file, root); hit != nullptr; hit = std::strstr(hit + 1, root)) {
      const char* after = hit + std::strlen(root);
      if (after > best) best = after;
    }
  }
  return best;
}

}  // namespace

void AssertionFailed(const char* condition, const char* file, int line) {
  std::fprintf(stderr, "Assertion failed: %s, file %s, line %d\n", condition, ShortFileName(file), line);
  std::fflush(stderr);
  std::abort();
}

}  // namespace Netforge::detail
