// The few host calls under otherwise shared platform code: each host
// defines them, Linux in platform/native_posix.cpp, Windows in
// platform/win32/native_win32.cpp.
#pragma once

#include <cstddef>

namespace platform::native {

// `length` UTF-16 units in Windows-1251, into `out` (at most `capacity`
// bytes, no terminator added), the byte count to *written. False when a
// character has no exact Windows-1251 byte: never a substitute, never a
// best fit.
bool EncodeWindows1251(const char16_t* text, std::size_t length, unsigned char* out,
                       std::size_t capacity, std::size_t* written);

// The desktop's room for a window's inside (a maximised window's client
// area) in pixels, and its resolution in dots per inch; false where the host
// does not say (the stand-in's default size is used then).
bool DesktopSize(int* width, int* height, int* dotsPerInch);

// The user's language as the system names it ("en", "ru", "de"), for a host
// whose programs are not told it through the environment; null where they
// are (Linux).
const char* SystemLanguageName();

// Orderly exit (exit handlers and static destructors run) and immediate exit
// (none of them run).
[[noreturn]] void Exit(int exitCode);
[[noreturn]] void ExitAtOnce(int exitCode);

}  // namespace platform::native
