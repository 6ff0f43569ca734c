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

// A buffer that is wiped however its scope is left.
template <std::size_t N>
struct WipedBuffer {
  unsigned char bytes[N];
  ~WipedBuffer() { SecureZero(bytes, N); }
};

}  // namespace platform
