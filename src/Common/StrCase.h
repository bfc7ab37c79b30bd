// Case-insensitive comparison of two texts, as every keyword, block name,
// function name and message keyword of the library is matched.
//
// This is not the POSIX function of the same name: it lives in the Netforge
// namespace and always answers -1, 0 or +1. Both texts are compared as if each
// byte had gone through toupper() (so only "a" to "z" fold), byte by byte as
// unsigned values, up to and including the terminating zero.
#ifndef NETFORGE_COMMON_STRCASE_H
#define NETFORGE_COMMON_STRCASE_H

#include <cstdint>

namespace Netforge {

// Returns -1 if |a| sorts before |b|, 0 if they are equal ignoring letter case,
// +1 if |a| sorts after |b|. Both must be non-null, zero-terminated texts.
std::int32_t strcasecmp(const char* a, const char* b);

}  // namespace Netforge

#endif  // NETFORGE_COMMON_STRCASE_H
