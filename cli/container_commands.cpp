// kva encrypt, decrypt and info.
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/messages.h"
#include "cli/paths.h"
#include "cli/progress.h"
#include "cli/staged_output.h"
#include "platform/files.h"
#include "res/string_table.h"
#include "securefile/container_reader.h"
#include "securefile/securefile.h"

namespace cli {
namespace {

using securefile::HeaderStatus;

const char* CipherName(int identifier) {
  switch (identifier) {
    case 1: return "AES-128-CFB";
    case 2: return "DES-EDE3-CBC";
    case 3: return "AES-128-CBC";
    default: return "not known to this version";
  }
}

// What the header of a container says, read without a password.
struct Inspection {
  bool opened = false;
  std::uint64_t fileSize = 0;
  HeaderStatus status = HeaderStatus::kReadFailed;
  securefile::ContainerHeader header;
};

Inspection Inspect(const DevicePath& path, std::uint32_t offset) {
  Inspection inspection;
  platform::FileAttributes attributes;
  platform::File file;
  if (!platform::GetFileAttributes(path.text, &attributes) || !file.OpenRead(path.text)) {
    return inspection;
  }
  inspection.opened = true;
  inspection.fileSize = attributes.size;
  if (offset > attributes.size || (offset != 0 && !file.Seek(offset))) return inspection;
  securefile::FileReader reader(file);
  inspection.status =
      securefile::ReadContainerHeader(reader, attributes.size - offset, &inspection.header);
  return inspection;
}

// Why a header was refused, in words.
std::string HeaderProblem(const Inspection& inspection, const std::string& name,
                          std::uint32_t offset) {
  switch (inspection.status) {
    case HeaderStatus::kOk:
      return "";
    case HeaderStatus::kReadFailed:
      return offset > inspection.fileSize ? "offset " + std::to_string(offset) + " is beyond the end of " + Quoted(name)
                                          : "cannot read " + Quoted(name);
    case HeaderStatus::kBadMagic:
      return Quoted(name) + " is not a KVA container" +
             (offset != 0 ? " at offset " + std::to_string(offset) : std::string());
    case HeaderStatus::kBadCipher:
      return Quoted(name) + " names an unknown cipher; the file may be damaged";
    case HeaderStatus::kTruncated:
      return Quoted(name) + " is truncated: its header announces " +
             std::to_string(inspection.header.ciphertextLength) + " bytes of ciphertext";
  }
  return "";
}

bool ResolvePath(const std::string& argument, DevicePath* path) {
  std::string error;
  if (ToDevicePath(argument, path, &error)) return true;
  PrintError(error);
  return false;
}

// The input must be an existing regular file.
bool CheckInputFile(const DevicePath& path, const std::string& name, std::uint64_t* size) {
  platform::FileAttributes attributes;
  if (!platform::GetFileAttributes(path.text, &attributes)) {
    PrintError("cannot read " + Quoted(name) + ": " + std::strerror(errno));
    return false;
  }
  if (attributes.isFolder) {
    PrintError(Quoted(name) + " is a folder");
    return false;
  }
  *size = attributes.size;
  return true;
}

}  // namespace

int RunEncrypt(const EncryptOptions& options) {
  DevicePath source;
  DevicePath destination;
  DevicePath carrier;
  if (!ResolvePath(options.source, &source) || !ResolvePath(options.destination, &destination)) {
    return kExitFailure;
  }
  std::uint64_t size = 0;
  if (!CheckInputFile(source, options.source, &size)) return kExitFailure;
  if (size > 0xFFFFFFFFu) {
    PrintError(Quoted(options.source) + " is 4 GiB or larger; a container holds less");
    return kExitFailure;
  }
  if (!options.carrier.empty()) {
    std::uint64_t carrierSize = 0;
    if (!ResolvePath(options.carrier, &carrier) ||
        !CheckInputFile(carrier, options.carrier, &carrierSize)) {
      return kExitFailure;
    }
    if (carrierSize > options.offset) {
      PrintError("--offset " + std::to_string(options.offset) + " is below the size of the carrier (" +
                 std::to_string(carrierSize) + " bytes)");
      return kExitFailure;
    }
  }

  StagedOutput output;
  std::string error;
  PasswordBytes password;
  if (!output.Reserve(destination, options.destination, options.force, &error) ||
      !ObtainPassword(options.password, true, &password, &error)) {
    PrintError(error);
    return kExitFailure;
  }

  ProgressCallback progress = StartProgress("Encrypting");
  std::int32_t result = EncryptContainer(source.text, output.TemporaryPath(), password.Data(),
                                         password.Length(), options.cipher, progress,
                                         options.offset, options.carrier.empty() ? nullptr : carrier.text,
                                         res::ProgramInstance());
  ClearProgressLine();
  if (result != kResultOk) {
    PrintError("encryption of " + Quoted(options.source) + " failed: " +
               (result == kResultNoSource ? "it cannot be read"
                                          : "a read or write error (is the disk full?)"));
    return kExitFailure;
  }
  if (!output.Commit(&error)) {
    PrintError(error);
    return kExitFailure;
  }
  return kExitOk;
}

int RunDecrypt(const DecryptOptions& options) {
  DevicePath source;
  DevicePath destination;
  if (!ResolvePath(options.source, &source) || !ResolvePath(options.destination, &destination)) {
    return kExitFailure;
  }
  std::uint64_t size = 0;
  if (!CheckInputFile(source, options.source, &size)) return kExitFailure;
  // A file that is no container is refused before a password is asked for.
  Inspection inspection = Inspect(source, options.offset);
  if (inspection.status != HeaderStatus::kOk) {
    PrintError(HeaderProblem(inspection, options.source, options.offset));
    return kExitFailure;
  }

  StagedOutput output;
  std::string error;
  PasswordBytes password;
  if (!output.Reserve(destination, options.destination, options.force, &error) ||
      !ObtainPassword(options.password, false, &password, &error)) {
    PrintError(error);
    return kExitFailure;
  }

  ProgressCallback progress = StartProgress("Decrypting");
  std::int32_t result = DecryptContainer(source.text, output.TemporaryPath(), password.Data(),
                                         password.Length(), progress, options.offset,
                                         res::ProgramInstance());
  ClearProgressLine();
  if (result == kResultWrongPassword) {
    PrintError("wrong password");
    return kExitWrongPassword;
  }
  if (result != kResultOk) {
    PrintError("decryption of " + Quoted(options.source) +
               " failed: the file is damaged, or the output could not be written");
    return kExitFailure;
  }
  if (!output.Commit(&error)) {
    PrintError(error);
    return kExitFailure;
  }
  return kExitOk;
}

int RunInfo(const InfoOptions& options) {
  DevicePath path;
  if (!ResolvePath(options.file, &path)) return kExitFailure;
  std::uint64_t size = 0;
  if (!CheckInputFile(path, options.file, &size)) return kExitFailure;
  Inspection inspection = Inspect(path, options.offset);
  if (inspection.status != HeaderStatus::kOk && inspection.status != HeaderStatus::kTruncated) {
    PrintError(HeaderProblem(inspection, options.file, options.offset));
    return kExitFailure;
  }
  const securefile::ContainerHeader& header = inspection.header;
  std::uint64_t end = std::uint64_t{options.offset} + securefile::kHeaderSize + header.ciphertextLength;
  std::printf("file:        %s (%" PRIu64 " bytes)\n", options.file.c_str(), inspection.fileSize);
  std::printf("offset:      %" PRIu32 "\n", options.offset);
  std::printf("magic:       ~KVA\n");
  std::printf("cipher:      %d (%s)\n", header.cipherIdentifier, CipherName(header.cipherIdentifier));
  std::printf("ciphertext:  %" PRIu32 " bytes\n", header.ciphertextLength);
  if (inspection.status == HeaderStatus::kTruncated) {
    if (end > inspection.fileSize) {
      std::printf("state:       truncated: the file ends %" PRIu64 " bytes short\n",
                  end - inspection.fileSize);
    } else {
      std::printf("state:       truncated: the file ends inside the header\n");
    }
    return kExitFailure;
  }
  if (end < inspection.fileSize) {
    std::printf("state:       complete, followed by %" PRIu64 " other bytes\n",
                inspection.fileSize - end);
  } else {
    std::printf("state:       complete\n");
  }
  return kExitOk;
}

}  // namespace cli
