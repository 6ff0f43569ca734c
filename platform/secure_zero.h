// Wiping of password and key buffers that the compiler may not optimise away.
#pragma once

#include <cstddef>
#ifndef _WIN32
#include <string.h>
#endif

namespace platform {

#ifdef _WIN32
void SecureZero(void* buffer, std::size_t size);  // SecureZeroMemory, in win32/host.cpp
#else
inline void SecureZero(void* buffer, std::size_t size) { ::explicit_bzero(buffer, size); }
#endif

// A buffer that is wiped however its scope is left (a return, an early
// exit): for keys, passwords and plaintext that live to the end of a scope.
template <std::size_t N, typename T = unsigned char>
struct WipedBuffer {
  T items[N];
  ~WipedBuffer() { SecureZero(items, sizeof items); }
};

}  // namespace platform
