// A decimal-comma locale for tests that prove file texts never depend on the
// locale in force.
#ifndef NETFORGE_TESTS_SUPPORT_COMMALOCALE_H
#define NETFORGE_TESTS_SUPPORT_COMMALOCALE_H

#include <clocale>
#include <locale>
#include <string>

namespace TestSupport {

// A decimal comma and grouping by thousands with a point ("1.234,5"): any
// number that went through the locale would show it.
class DecimalCommaPunct : public std::numpunct<char> {
 protected:
  char do_decimal_point() const override { return ','; }
  char do_thousands_sep() const override { return '.'; }
  std::string do_grouping() const override { return "\3"; }
};

// Sets a decimal-comma global C++ locale (and a national C locale where one
// is installed) for its lifetime, and restores both on destruction.
class CommaLocale {
 public:
  CommaLocale() : saved_(std::locale()), savedC_(std::setlocale(LC_ALL, nullptr)) {
    for (const char* name : {"de_DE.UTF-8", "de_DE", "fr_FR.UTF-8"}) {
      if (std::setlocale(LC_ALL, name) != nullptr) {
        std::locale::global(std::locale(std::locale(name), new DecimalCommaPunct));
        return;
      }
    }
    std::locale::global(std::locale(std::locale::classic(), new DecimalCommaPunct));
  }
  ~CommaLocale() {
    std::locale::global(saved_);
    std::setlocale(LC_ALL, savedC_.c_str());
  }
  CommaLocale(const CommaLocale&) = delete;
  CommaLocale& operator=(const CommaLocale&) = delete;

 private:
  std::locale saved_;
  std::string savedC_;
};

}  // namespace TestSupport

#endif  // NETFORGE_TESTS_SUPPORT_COMMALOCALE_H
