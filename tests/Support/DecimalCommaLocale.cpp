// Runs a test program under a decimal-comma locale when asked to.
//
// Linked into every test program. With NETFORGE_TEST_LOCALE=comma in the
// environment it installs, before any test runs, a global C++ locale whose
// numbers are written "1.234,5" (as many national locales write them), and
// the C.UTF-8 C locale where the system has one. File texts must not change
// under it: numbers in files are formatted and parsed the same under every
// locale, and a second CI pass runs the whole suite this way to prove it.
// Without the variable nothing is changed.
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <locale>
#include <string>

#include "Support/CommaLocale.h"

namespace {

bool InstallDecimalCommaLocale() {
  const char* wanted = std::getenv("NETFORGE_TEST_LOCALE");
  if (wanted == nullptr || std::strcmp(wanted, "comma") != 0) return false;
  // The C locale first: std::locale::global of an unnamed locale leaves it
  // alone, so both must be set.
  std::setlocale(LC_ALL, "C.UTF-8");
  std::locale::global(std::locale(std::locale::classic(), new TestSupport::DecimalCommaPunct));
  return true;
}

// Set up during static initialisation, before main and any test.
[[maybe_unused]] const bool kInstalled = InstallDecimalCommaLocale();

}  // namespace
