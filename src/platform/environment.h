#pragma once

namespace qv {

// The value of an environment variable as UTF-8, or null when it is not set. The text stays
// valid until the process ends.
//   POSIX:   the bytes of the environment, as they are.
//   Windows: the wide environment converted, since the C library's narrow copy turns what the
//            code page lacks (a character outside the Basic Multilingual Plane) into '?'.
[[nodiscard]] const char* EnvironmentUtf8(const char* name);

}  // namespace qv
