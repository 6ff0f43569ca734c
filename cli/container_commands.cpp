// kva encrypt, decrypt and info.
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "cli/command_support.h"
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/kva_strings.h"
#include "cli/messages.h"
#include "cli/paths.h"
#include "cli/staged_output.h"
#include "cli/terminal_progress.h"
#include "platform/files.h"
#include "securefile/container_reader.h"
#include "securefile/open_file_operations.h"
#include "securefile/securefile.h"

namespace cli {

using securefile::HeaderStatus;

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

  ProgressCallback progress = StartProgress("Encrypting", size);
  std::int32_t result = EncryptContainerInto(
      source.text, output.File(), password.Consumable(), password.Length(), options.cipher,
      progress, options.offset, options.carrier.empty() ? nullptr : carrier.text, KvaInstance());
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
  Inspection inspection = InspectContainer(source, options.offset);
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

  ProgressCallback progress = StartProgress("Decrypting", inspection.header.ciphertextLength);
  std::int32_t result = DecryptContainerInto(source.text, output.File(), password.Consumable(),
                                             password.Length(), progress, options.offset,
                                             KvaInstance());
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
  Inspection inspection = InspectContainer(path, options.offset);
  if (inspection.status != HeaderStatus::kOk && inspection.status != HeaderStatus::kTruncated) {
    PrintError(HeaderProblem(inspection, options.file, options.offset));
    return kExitFailure;
  }
  const securefile::ContainerHeader& header = inspection.header;
  std::uint64_t available = inspection.fileSize - options.offset;
  std::uint64_t end = std::uint64_t{options.offset} + securefile::kHeaderSize + header.ciphertextLength;
  std::printf("file:        %s (%" PRIu64 " bytes)\n", OneLine(options.file).c_str(),
              inspection.fileSize);
  std::printf("offset:      %" PRIu32 "\n", options.offset);
  std::printf("magic:       ~KVA\n");
  std::printf("cipher:      %d (%s)\n", header.cipherIdentifier, CipherName(header.cipherIdentifier));
  if (available < 12) {  // not even the length field is there
    std::printf("state:       truncated: the file ends inside the header\n");
    return kExitFailure;
  }
  std::printf("ciphertext:  %" PRIu32 " bytes\n", header.ciphertextLength);
  if (inspection.status == HeaderStatus::kTruncated) {
    std::printf("state:       truncated: the file ends %" PRIu64 " bytes short\n",
                end - inspection.fileSize);
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
