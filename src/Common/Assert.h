// Internal consistency checks.
//
// NF_ASSERT guards programming errors: a violated condition means a caller or
// the library itself broke a contract, not that some input was bad (readers
// reject bad input with their own error types before it could get here).
// A failed check writes
//     Assertion failed: <condition text>, file <file>, line <n>
// to standard error and aborts. The checks stay on in every build type;
// NDEBUG does not touch them.
//
// NF_ASSERT_TEXT is for the few checks whose documented condition text cannot
// be the C++ expression itself (for example a comparison of type names).
#ifndef NETFORGE_COMMON_ASSERT_H
#define NETFORGE_COMMON_ASSERT_H

namespace Netforge::detail {

// Writes the assertion line and aborts. |file| is shortened to the path below
// the source root ("NeuralNets/TBasicNetwork.cpp").
[[noreturn]] void AssertionFailed(const char* condition, const char* file, int line);

}  // namespace Netforge::detail

#define NF_ASSERT(condition) \
  ((condition) ? static_cast<void>(0) : ::Netforge::detail::AssertionFailed(#condition, __FILE__, __LINE__))

#define NF_ASSERT_TEXT(condition, text) \
  ((condition) ? static_cast<void>(0) : ::Netforge::detail::AssertionFailed(text, __FILE__, __LINE__))

#endif  // NETFORGE_COMMON_ASSERT_H
