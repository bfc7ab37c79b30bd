// Whether long double arithmetic really is wider than double here.
//
// Tests that measure the library's own elementary functions against the long
// double functions of the C library need a reference more precise than the
// results they judge. x86-64 long double has a 64-bit significand, but
// Valgrind computes it with a double's 53 bits, so under Valgrind such a
// reference is no better than the value it would judge. Those tests skip
// themselves when this returns false.
#ifndef NETFORGE_TESTS_SUPPORT_LONGDOUBLE_H
#define NETFORGE_TESTS_SUPPORT_LONGDOUBLE_H

#include <limits>

namespace TestSupport {

inline bool LongDoubleIsWiderThanDouble() {
  // volatile: the sum must be computed at run time, where Valgrind can round it.
  volatile long double one = 1.0L;
  volatile long double tiny = std::numeric_limits<double>::epsilon() / 4;
  return one + tiny != one;
}

}  // namespace TestSupport

#endif  // NETFORGE_TESTS_SUPPORT_LONGDOUBLE_H
