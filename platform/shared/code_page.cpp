#include "platform/code_page.h"

#include "platform/secure_zero.h"
#include "platform/shared/host.h"

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
  std::size_t written = 0;
  if (!host::EncodeWindows1251(text, length, bytes, kPasswordBytes - 1, &written)) {  // room for the NUL
    SecureZero(bytes, sizeof bytes);
    return PasswordConversion::kUnrepresentable;
  }
  *byteLength = written;
  return PasswordConversion::kOk;
}

}  // namespace platform
