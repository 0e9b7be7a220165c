// What a build of the library is. The full library and the reduced one
// (zelcore, built with ZEL_CORE_PROFILE) come from the same sources; every
// way in which they differ is decided here, or in the sources under
// src/zel/core/ that only the reduced build compiles.
#ifndef ZEL_BUILD_PROFILE_H
#define ZEL_BUILD_PROFILE_H

#include <cstdint>

namespace zel::profile {

#if defined(ZEL_CORE_PROFILE)

inline constexpr bool kCore = true;

// Mode shapes and modal stress only: no modal strain.
inline constexpr int kValueSets = 2;
inline constexpr char kUnknownValueSet[] = "Value set %d is none of 0 (mode shapes) and 1 (modal stress).";

// The older format levels, double precision only (the writer's levels are
// chosen in write_options.cpp).
inline bool reads_version(uint32_t version) {
  return version == 10 || version == 20 || version == 30 || version == 31 || version == 40 || version == 41;
}

// The directory of generated temporary files, in the order looked at
// (then the system's own); the messages name the first.
inline constexpr const char *kTemporaryDirectoryVariables[] = {"TMPDIR", "TMP"};

#else

inline constexpr bool kCore = false;

inline constexpr int kValueSets = 3;
inline constexpr char kUnknownValueSet[] =
    "Value set %d is none of 0 (mode shapes), 1 (modal stress) and 2 (modal strain).";

inline bool reads_version(uint32_t) { return true; }

inline constexpr const char *kTemporaryDirectoryVariables[] = {"TMP"};

#endif

}  // namespace zel::profile

#endif  // ZEL_BUILD_PROFILE_H
