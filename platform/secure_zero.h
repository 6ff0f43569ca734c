// Wiping of password and key buffers that the compiler may not optimise away.
#pragma once

#include <cstddef>
#include <string.h>

namespace platform {

inline void SecureZero(void* buffer, std::size_t size) { ::explicit_bzero(buffer, size); }

}  // namespace platform
