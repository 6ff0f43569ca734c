// Where kva's password comes from, and its conversion to password bytes.
#pragma once

#include <cstddef>
#include <string>

#include "platform/code_page.h"

namespace cli {

struct PasswordSource {
  std::string file;        // --password-file: its first line
  bool standardInput = false;  // --password-stdin: the first line of stdin
};

// The password as the library takes it: Windows-1251 bytes, wiped when the
// object goes away.
class PasswordBytes {
 public:
  PasswordBytes() = default;
  ~PasswordBytes();
  PasswordBytes(const PasswordBytes&) = delete;
  PasswordBytes& operator=(const PasswordBytes&) = delete;

  const unsigned char* Data() const { return bytes_; }
  // For the operations that wipe the password once the key is derived.
  unsigned char* Consumable() { return bytes_; }
  // Once the key is derived, the password is not needed any more.
  void Wipe();
  int Length() const { return static_cast<int>(length_); }
  unsigned char (&Buffer())[platform::kPasswordBytes] { return bytes_; }
  std::size_t& LengthRef() { return length_; }

 private:
  unsigned char bytes_[platform::kPasswordBytes] = {};
  std::size_t length_ = 0;
};

// Reads the password from the source, or asks on the terminal without echo
// (twice when `confirm`, and both must match). False with a message in
// *error when there is no usable password.
bool ObtainPassword(const PasswordSource& source, bool confirm, PasswordBytes* password,
                    std::string* error);

// Converts a UTF-8 password to password bytes; the same conversion as the
// application's. False with a message when it cannot be converted.
bool ConvertPassword(const char* utf8, std::size_t length, PasswordBytes* password,
                     std::string* error);

}  // namespace cli
