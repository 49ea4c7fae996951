// The one way a fuzz target reports a broken invariant: print what broke and abort, so that
// libFuzzer keeps the input and the replay build fails its test.
#ifndef DIZOR_FUZZ_FUZZ_CHECK_H_
#define DIZOR_FUZZ_FUZZ_CHECK_H_

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition, ...)                                                           \
  do {                                                                                       \
    if (!(condition)) {                                                                      \
      std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #condition); \
      std::fprintf(stderr, __VA_ARGS__);                                                     \
      std::fprintf(stderr, "\n");                                                            \
      std::abort();                                                                          \
    }                                                                                        \
  } while (false)

#endif  // DIZOR_FUZZ_FUZZ_CHECK_H_
