#include "platform/code_page.h"

#include <bit>
#include <cerrno>
#include <iconv.h>

#include "platform/secure_zero.h"

namespace platform {

PasswordConversion PasswordToCodePage(const char16_t* text, std::size_t length,
                                      unsigned char (&bytes)[kPasswordBytes],
                                      std::size_t* byteLength) {
  SecureZero(bytes, sizeof bytes);
  *byteLength = 0;
  if (length == 0) return PasswordConversion::kEmpty;
  if (length > kMaxPasswordCharacters) return PasswordConversion::kTooLong;
  for (std::size_t i = 0; i < length; ++i) {
    if (text[i] == u'\0') return PasswordConversion::kUnrepresentable;
  }

  const char* from = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";
  iconv_t converter = ::iconv_open("CP1251", from);
  if (converter == reinterpret_cast<iconv_t>(-1)) return PasswordConversion::kUnrepresentable;

  char* in = const_cast<char*>(reinterpret_cast<const char*>(text));
  std::size_t inLeft = length * sizeof(char16_t);
  char* out = reinterpret_cast<char*>(bytes);
  std::size_t outLeft = kPasswordBytes - 1;  // room for the NUL
  std::size_t converted = ::iconv(converter, &in, &inLeft, &out, &outLeft);
  ::iconv_close(converter);
  if (converted == static_cast<std::size_t>(-1) || inLeft != 0 || converted != 0) {
    // converted > 0 would mean characters replaced irreversibly.
    SecureZero(bytes, sizeof bytes);
    return PasswordConversion::kUnrepresentable;
  }
  *byteLength = kPasswordBytes - 1 - outLeft;
  return PasswordConversion::kOk;
}

}  // namespace platform
