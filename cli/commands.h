// kva's commands. Each takes its parsed options and returns an exit code.
// A file argument of "-" means standard input or output where the command
// says so (main.cpp refuses it elsewhere).
#pragma once

#include <cstdint>
#include <string>

#include "cli/password.h"
#include "cli/replace_policy.h"

namespace cli {

// The whole tool: parses the command line (UTF-8 on every host) and runs
// the command it names; main or, on Windows, wmain hands it over.
int RunKva(int argc, char** argv);

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

struct PackOptions {
  std::string source;
  std::string package;
  bool append = false;
  bool force = false;
  bool skipUnreadable = false;
};

struct MeasureOptions {
  std::string source;
  std::string package;  // where the package will go: left out of the counts
};

struct UnpackOptions {
  std::string package;
  std::string destination;
  ExistingFiles existing = ExistingFiles::kAsk;
};

struct ListOptions {
  std::string package;
  PasswordSource password;  // for a container
};

struct SealOptions {
  std::string source;
  std::string container;
  int cipher = 3;
  bool force = false;
  bool skipUnreadable = false;
  PasswordSource password;
};

struct OpenOptions {
  std::string container;
  std::string destination;
  bool removeOriginal = false;
  ExistingFiles existing = ExistingFiles::kAsk;
  PasswordSource password;
};

int RunEncrypt(const EncryptOptions& options);
int RunDecrypt(const DecryptOptions& options);
int RunInfo(const InfoOptions& options);
int RunPack(const PackOptions& options);
int RunMeasure(const MeasureOptions& options);
int RunUnpack(const UnpackOptions& options);
int RunList(const ListOptions& options);
int RunSeal(const SealOptions& options);
int RunOpen(const OpenOptions& options);

}  // namespace cli
