// kva encrypt, decrypt and info.
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "cli/command_support.h"
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/messages.h"
#include "cli/streams.h"
#include "cli/terminal_progress.h"
#include "platform/secure_zero.h"
#include "securefile/container_reader.h"
#include "securefile/container_writer.h"

namespace cli {
namespace {

using securefile::HeaderStatus;
using securefile::kChunkSize;

// Copies the carrier ahead of the container, then zeros up to `offset`.
bool WriteCarrier(Input& carrier, std::uint32_t offset, Output& output) {
  unsigned char block[kChunkSize];
  std::uint64_t written = 0;
  std::uint32_t got = 0;
  while (carrier.Read(block, sizeof block, &got) && got > 0) {
    if (!output.Write(block, got)) return false;
    written += got;
  }
  std::memset(block, 0, sizeof block);
  for (; written < offset; written += got) {
    got = static_cast<std::uint32_t>(std::min<std::uint64_t>(offset - written, sizeof block));
    if (!output.Write(block, got)) return false;
  }
  return true;
}

}  // namespace

int RunEncrypt(const EncryptOptions& options) {
  Input source;
  Input carrier;
  if (!source.Open(options.source) || (!options.carrier.empty() && !carrier.Open(options.carrier))) {
    return kExitFailure;
  }
  if (!options.carrier.empty() && carrier.Size() > options.offset) {
    PrintError("--offset " + std::to_string(options.offset) + " is below the size of the carrier (" +
               std::to_string(carrier.Size()) + " bytes)");
    return kExitFailure;
  }
  // The header announces the length, so a pipe is read to its end first.
  if (!source.Buffer()) return kExitFailure;
  std::uint64_t size = source.Remaining();
  if (size > 0xFFFFFFFFu) {
    PrintError(Quoted(source.Name()) + " is 4 GiB or larger; a container holds less");
    return kExitFailure;
  }

  Output output;
  int status = kExitFailure;
  std::string error;
  PasswordBytes password;
  if (!output.Open(options.destination, options.force, &status)) return status;
  if (!ObtainPassword(options.password, true, &password, &error)) {
    PrintError(error);
    return kExitFailure;
  }

  securefile::ContainerEncryptor encryptor;
  bool begun = (options.carrier.empty() || WriteCarrier(carrier, options.offset, output)) &&
               encryptor.Begin(output, options.cipher, size, password.Data(), password.Length()) ==
                   kResultOk;
  password.Wipe();  // the key is all that is needed from here on
  if (!begun) {
    output.ReportFailure();
    return kExitFailure;
  }
  ProgressCallback progress = StartProgress("Encrypting", size);
  platform::WipedBuffer<kChunkSize> wiped;  // plaintext
  unsigned char* chunk = wiped.items;
  std::uint32_t got = 0;
  bool read = true;
  bool written = true;
  for (std::uint32_t index = 0; read && written && size - std::uint64_t{index} * kChunkSize >= kChunkSize;
       ++index) {
    read = source.Read(chunk, kChunkSize, &got) && got == kChunkSize;
    written = read && encryptor.PutChunk(output, chunk) == kResultOk;
    if (written && progress != nullptr) progress(index, encryptor.ChunkCount(), nullptr);
  }
  std::uint32_t rest = static_cast<std::uint32_t>(size % kChunkSize);
  if (read && written) {
    read = source.Read(chunk, rest, &got) && got == rest;
    written = read && encryptor.Finish(output, chunk, rest) == kResultOk;
  }
  ClearProgressLine();
  if (!read) {
    PrintError("encryption of " + Quoted(source.Name()) +
               " failed: it cannot be read, or it changed meanwhile");
    return kExitFailure;
  }
  if (!written) {
    output.ReportFailure();
    return kExitFailure;
  }
  return output.Finish() ? kExitOk : kExitFailure;
}

int RunDecrypt(const DecryptOptions& options) {
  Input source;
  securefile::ContainerHeader header;
  // A file that is no container is refused before a password is asked for.
  if (!source.Open(options.source) || !ReadHeader(source, options.offset, &header)) {
    return kExitFailure;
  }
  Output output;
  int status = kExitFailure;
  securefile::ContainerDecryptor decryptor;
  if (!output.Open(options.destination, options.force, &status)) return status;
  status = StartDecryptor(header, options.password, &decryptor);
  if (status != kExitOk) return status;

  ProgressCallback progress = StartProgress("Decrypting", header.ciphertextLength);
  platform::WipedBuffer<securefile::kCipherOutputSize> wiped;  // plaintext
  unsigned char* plain = wiped.items;
  bool damaged = false;
  bool written = true;
  while (written && !decryptor.Finished()) {
    securefile::ContainerDecryptor::Piece piece;
    damaged = decryptor.Next(source, plain, &piece) != kResultOk;
    if (damaged) break;
    written = output.Write(plain, piece.length);
    if (!piece.final && progress != nullptr) progress(piece.index, decryptor.ChunkCount(), nullptr);
  }
  ClearProgressLine();
  if (damaged) {
    PrintError("decryption of " + Quoted(source.Name()) + " failed: the file is damaged");
    return kExitFailure;
  }
  if (!written) {
    output.ReportFailure();
    return kExitFailure;
  }
  return output.Finish() ? kExitOk : kExitFailure;
}

int RunInfo(const InfoOptions& options) {
  Input input;
  if (!input.Open(options.file)) return kExitFailure;
  Inspection inspection = InspectContainer(input, options.offset, true);
  if (inspection.status != HeaderStatus::kOk && inspection.status != HeaderStatus::kTruncated) {
    PrintError(HeaderProblem(inspection, input.Name(), options.offset));
    return kExitFailure;
  }
  const securefile::ContainerHeader& header = inspection.header;
  std::uint64_t available = inspection.fileSize - options.offset;
  std::uint64_t end = std::uint64_t{options.offset} + securefile::kHeaderSize + header.ciphertextLength;
  std::printf("file:        %s (%" PRIu64 " bytes)\n", OneLine(input.Name()).c_str(),
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
