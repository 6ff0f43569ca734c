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

}  // namespace platform
