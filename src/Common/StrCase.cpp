#include "Common/StrCase.h"

namespace Netforge {

namespace {

// toupper() in the "C" locale, whatever locale the program has set: only the
// letters "a" to "z" fold, so keyword matching never depends on the locale.
unsigned char FoldCase(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return (u >= 'a' && u <= 'z') ? static_cast<unsigned char>(u - ('a' - 'A')) : u;
}

}  // namespace

// Compares on the fly instead of making upper-case copies: the result is the
// same and keyword matching sits on the file readers' hot path.
std::int32_t strcasecmp(const char* a, const char* b) {
  for (;; ++a, ++b) {
    const unsigned char ca = FoldCase(*a);
    const unsigned char cb = FoldCase(*b);
    if (ca != cb) return ca < cb ? -1 : 1;
    if (ca == 0) return 0;
  }
}

}  // namespace Netforge
