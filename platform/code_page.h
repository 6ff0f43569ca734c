// The device's code page, Windows-1251, in which passwords become bytes.
//
// The password bytes are what the key is derived from, so the conversion
// must be the same everywhere a password is typed (the application and kva)
// and must never substitute a character: a character the code page cannot
// represent is refused rather than turned into '?'.
#pragma once

#include <cstddef>

namespace platform {

inline constexpr std::size_t kPasswordBytes = 64;        // NUL-terminated buffer
inline constexpr std::size_t kMaxPasswordCharacters = 31;  // what the password box takes

enum class PasswordConversion {
  kOk,
  kEmpty,
  kTooLong,           // more than kMaxPasswordCharacters
  kUnrepresentable,   // a character (or NUL) outside Windows-1251
};

// Converts `length` UTF-16 units to Windows-1251 into `bytes`, NUL-terminated,
// and sets *byteLength to the number of bytes before the NUL. On any failure
// `bytes` is left all zero.
PasswordConversion PasswordToCodePage(const char16_t* text, std::size_t length,
                                      unsigned char (&bytes)[kPasswordBytes],
                                      std::size_t* byteLength);

}  // namespace platform
