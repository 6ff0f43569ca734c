// kva's commands. Each takes its parsed options and returns an exit code.
#pragma once

#include <cstdint>
#include <string>

#include "cli/password.h"

namespace cli {

struct EncryptOptions {
  std::string source;
  std::string destination;
  int cipher = 3;
  std::string carrier;
  std::uint32_t offset = 0;
  bool force = false;
  PasswordSource password;
};

struct DecryptOptions {
  std::string source;
  std::string destination;
  std::uint32_t offset = 0;
  bool force = false;
  PasswordSource password;
};

struct InfoOptions {
  std::string file;
  std::uint32_t offset = 0;
};

int RunEncrypt(const EncryptOptions& options);
int RunDecrypt(const DecryptOptions& options);
int RunInfo(const InfoOptions& options);

}  // namespace cli
