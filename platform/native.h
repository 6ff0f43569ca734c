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

// The screen's size in pixels; false where the host has no device screen
// to offer (the stand-in's default size is used then).
bool ScreenSize(int* width, int* height);

// Orderly exit (exit handlers and static destructors run) and immediate exit
// (none of them run).
[[noreturn]] void Exit(int exitCode);
[[noreturn]] void ExitAtOnce(int exitCode);

}  // namespace platform::native
