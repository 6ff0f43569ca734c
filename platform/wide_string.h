// Small helpers for the device's wide strings: NUL-terminated UTF-16
// (char16_t) text held in fixed buffers.
#pragma once

#include <cstddef>

namespace platform {

// Device paths live in buffers of this many code units, terminator included,
// so a path holds at most 259 characters.
inline constexpr std::size_t kMaxPath = 260;

std::size_t WideLength(const char16_t* text);

// Copies `source` into `destination` (capacity `capacity` units, terminator
// included). Returns false, leaving `destination` holding an empty string,
// when the text does not fit; nothing is ever written past the buffer.
bool WideCopy(char16_t* destination, std::size_t capacity, const char16_t* source);

// Appends `source` to the text in `destination`; false (text unchanged) when
// the result would not fit.
bool WideAppend(char16_t* destination, std::size_t capacity, const char16_t* source);

bool WideEqual(const char16_t* a, const char16_t* b);

template <std::size_t N>
bool WideCopy(char16_t (&destination)[N], const char16_t* source) {
  return WideCopy(destination, N, source);
}
template <std::size_t N>
bool WideAppend(char16_t (&destination)[N], const char16_t* source) {
  return WideAppend(destination, N, source);
}

}  // namespace platform
