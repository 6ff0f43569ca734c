#include "cli/password.h"

#include <bsd/readpassphrase.h>
#include <cstdio>
#include <cstring>

#include "platform/device_path.h"
#include "platform/secure_zero.h"

namespace cli {
namespace {

// Long enough that a password of 31 characters always fits whole (at most
// four bytes each in UTF-8), so that anything longer is seen as too long.
constexpr std::size_t kLineBytes = 512;

void StripLineEnding(char* line) {
  std::size_t length = std::strlen(line);
  if (length > 0 && line[length - 1] == '\n') line[--length] = '\0';
  if (length > 0 && line[length - 1] == '\r') line[--length] = '\0';
}

// Reads the first line of `stream` into `line`. False if it cannot be read
// or is longer than the buffer.
bool ReadFirstLine(std::FILE* stream, char (&line)[kLineBytes]) {
  if (std::fgets(line, sizeof line, stream) == nullptr) {
    line[0] = '\0';
    return std::feof(stream) != 0;  // an empty file gives an empty password
  }
  std::size_t length = std::strlen(line);
  bool complete = (length > 0 && line[length - 1] == '\n') || std::feof(stream) != 0;
  if (!complete) {
    int next = std::fgetc(stream);
    complete = next == EOF;
  }
  if (!complete) return false;
  StripLineEnding(line);
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
  bool ok = true;
  if (source.standardInput) {
    ok = ReadFirstLine(stdin, line);
    if (!ok) *error = "cannot read the password from standard input (first line too long?)";
  } else if (!source.file.empty()) {
    std::FILE* file = std::fopen(source.file.c_str(), "r");
    if (file == nullptr) {
      *error = "cannot read the password file '" + source.file + "': " + std::strerror(errno);
      return false;
    }
    ok = ReadFirstLine(file, line);
    std::fclose(file);
    if (!ok) *error = "cannot read the password file '" + source.file + "' (first line too long?)";
  } else {
    ok = Prompt("Password: ", line, error);
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
  if (ok) ok = ConvertPassword(line, std::strlen(line), password, error);
  platform::SecureZero(line, sizeof line);
  return ok;
}

}  // namespace cli
