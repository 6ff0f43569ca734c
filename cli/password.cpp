#include "cli/password.h"

#include <cstring>

#include "cli/messages.h"
#include "platform/console.h"
#include "platform/device_path.h"
#include "platform/secure_zero.h"

namespace cli {
namespace {

// Long enough that a password of 31 characters always fits whole (at most
// four bytes each in UTF-8), so that anything longer is seen as too long.
constexpr std::size_t kLineBytes = 512;

// A password file or standard input is UTF-8 on every host, so the same
// file opens the same container anywhere: a byte-order mark in front (as
// Windows editors write) is not part of the password, nor is a CR before
// the LF.
void TrimLine(char (&line)[kLineBytes], std::size_t* length) {
  static const char kByteOrderMark[] = "\xEF\xBB\xBF";
  if (*length >= 3 && std::memcmp(line, kByteOrderMark, 3) == 0) {
    std::memmove(line, line + 3, *length - 3);
    *length -= 3;
  }
  if (*length > 0 && line[*length - 1] == '\r') --*length;
  line[*length] = '\0';
}

bool Prompt(const char* prompt, char (&line)[kLineBytes], std::string* error) {
  if (!platform::AskHidden(prompt, line, sizeof line)) {
    *error =
        "cannot ask for the password: no terminal (use --password-file or --password-stdin)";
    return false;
  }
  return true;
}

// Why the password line could not be read: a file that would not open
// (the system's reason), else a line too long or unreadable.
std::string LineNotRead(const PasswordSource& source, bool opened) {
  if (source.standardInput) {
    return "cannot read the password from standard input (first line too long?)";
  }
  if (!opened) {
    std::string reason = LastErrorText();
    return "cannot read the password file '" + source.file + "': " + reason;
  }
  return "cannot read the password file '" + source.file + "' (first line too long?)";
}

}  // namespace

PasswordBytes::~PasswordBytes() { Wipe(); }

void PasswordBytes::Wipe() {
  platform::SecureZero(bytes_, sizeof bytes_);
  length_ = 0;
}

bool ConvertPassword(const char* utf8, std::size_t length, PasswordBytes* password,
                     std::string* error) {
  if (std::memchr(utf8, '\0', length) != nullptr) {
    *error = "the password holds a NUL character";
    return false;
  }
  platform::WipedBuffer<kLineBytes, char16_t> wide;
  bool ok = platform::Utf8ToUtf16(utf8, length, wide.items, kLineBytes);
  platform::PasswordConversion conversion = platform::PasswordConversion::kUnrepresentable;
  if (ok) {
    conversion = platform::PasswordToCodePage(wide.items, platform::WideLength(wide.items),
                                              password->Buffer(), &password->LengthRef());
  }
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
  platform::WipedBuffer<kLineBytes, char> line{};
  std::size_t length = 0;
  bool ok = true;
  if (source.standardInput || !source.file.empty()) {
    bool opened = true;
    ok = source.standardInput
             ? platform::ReadFirstLineOfStandardInput(line.items, kLineBytes, &length)
             : platform::ReadFirstLineOfFile(source.file, line.items, kLineBytes, &length, &opened);
    if (!ok) *error = LineNotRead(source, opened);
    if (ok) TrimLine(line.items, &length);
  } else {
    ok = Prompt("Password: ", line.items, error);
    length = std::strlen(line.items);
    if (ok && length == 0) {
      // Refused at once, rather than after it was asked for again.
      *error = "the password is empty";
      ok = false;
    }
    if (ok && confirm) {
      platform::WipedBuffer<kLineBytes, char> again{};
      ok = Prompt("Password again: ", again.items, error);
      if (ok && std::strcmp(line.items, again.items) != 0) {
        *error = "the passwords do not match";
        ok = false;
      }
    }
  }
  // The whole line counts, so a NUL inside it is refused by the conversion
  // rather than silently ending the password early.
  if (ok) ok = ConvertPassword(line.items, length, password, error);
  return ok;
}

}  // namespace cli
