#include "cli/password.h"

#include <bsd/readpassphrase.h>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <cstdio>
#include <cstring>

#include "platform/device_path.h"
#include "platform/secure_zero.h"

namespace cli {
namespace {

// Long enough that a password of 31 characters always fits whole (at most
// four bytes each in UTF-8), so that anything longer is seen as too long.
constexpr std::size_t kLineBytes = 512;

// Reads the first line of `descriptor` into `line` with read(2), a byte at
// a time: nothing past the line is consumed and no stdio buffer keeps a
// copy of the password. The line ending (LF or CRLF) is dropped. False if
// the line does not fit or cannot be read.
bool ReadFirstLine(int descriptor, char (&line)[kLineBytes], std::size_t* length) {
  *length = 0;
  for (;;) {
    char byte = 0;
    ssize_t got = ::read(descriptor, &byte, 1);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (got == 0 || byte == '\n') break;
    if (*length + 1 >= kLineBytes) return false;
    line[(*length)++] = byte;
  }
  if (*length > 0 && line[*length - 1] == '\r') --*length;
  line[*length] = '\0';
  return true;
}

bool Prompt(const char* prompt, char (&line)[kLineBytes], std::string* error) {
  if (readpassphrase(prompt, line, sizeof line, RPP_REQUIRE_TTY) == nullptr) {
    *error =
        "cannot ask for the password: no terminal (use --password-file or --password-stdin)";
    return false;
  }
  return true;
}

}  // namespace

PasswordBytes::~PasswordBytes() {
  platform::SecureZero(bytes_, sizeof bytes_);
  length_ = 0;
}

bool ConvertPassword(const char* utf8, std::size_t length, PasswordBytes* password,
                     std::string* error) {
  if (std::memchr(utf8, '\0', length) != nullptr) {
    *error = "the password holds a NUL character";
    return false;
  }
  char16_t wide[kLineBytes];
  bool ok = platform::Utf8ToUtf16(utf8, length, wide, kLineBytes);
  platform::PasswordConversion conversion = platform::PasswordConversion::kUnrepresentable;
  if (ok) {
    conversion = platform::PasswordToCodePage(wide, platform::WideLength(wide),
                                              password->Buffer(), &password->LengthRef());
  }
  platform::SecureZero(wide, sizeof wide);
  if (!ok) {
    *error = "the password is not valid UTF-8 text";
    return false;
  }
  switch (conversion) {
    case platform::PasswordConversion::kOk:
      return true;
    case platform::PasswordConversion::kEmpty:
      *error = "the password is empty";
      return false;
    case platform::PasswordConversion::kTooLong:
      *error = "the password is longer than 31 characters";
      return false;
    case platform::PasswordConversion::kUnrepresentable:
      *error =
          "the password holds a character outside the Windows-1251 code page "
          "(Latin, Cyrillic and common punctuation are fine)";
      return false;
  }
  return false;
}

bool ObtainPassword(const PasswordSource& source, bool confirm, PasswordBytes* password,
                    std::string* error) {
  char line[kLineBytes] = {};
  std::size_t length = 0;
  bool ok = true;
  if (source.standardInput) {
    ok = ReadFirstLine(STDIN_FILENO, line, &length);
    if (!ok) *error = "cannot read the password from standard input (first line too long?)";
  } else if (!source.file.empty()) {
    int descriptor = ::open(source.file.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
      *error = "cannot read the password file '" + source.file + "': " + std::strerror(errno);
      return false;
    }
    ok = ReadFirstLine(descriptor, line, &length);
    ::close(descriptor);
    if (!ok) *error = "cannot read the password file '" + source.file + "' (first line too long?)";
  } else {
    ok = Prompt("Password: ", line, error);
    length = std::strlen(line);
    if (ok && confirm) {
      char again[kLineBytes] = {};
      ok = Prompt("Password again: ", again, error);
      if (ok && std::strcmp(line, again) != 0) {
        *error = "the passwords do not match";
        ok = false;
      }
      platform::SecureZero(again, sizeof again);
    }
  }
  // The whole line counts, so a NUL inside it is refused by the conversion
  // rather than silently ending the password early.
  if (ok) ok = ConvertPassword(line, length, password, error);
  platform::SecureZero(line, sizeof line);
  return ok;
}

}  // namespace cli
