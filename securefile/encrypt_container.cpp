// EncryptContainer: a plain file into a container file, optionally behind a
// carrier.
#include <cstring>

#include "platform/files.h"
#include "platform/secure_zero.h"
#include "securefile/container_writer.h"
#include "securefile/open_file_operations.h"
#include "securefile/progress_report.h"
#include "securefile/securefile.h"

using namespace securefile;

namespace {

// Copies the carrier into the destination and fills the gap up to `offset`
// with zero bytes, so the container starts exactly at `offset`.
bool WriteCarrier(platform::File& destination, const char16_t* carrierPath,
                  std::uint32_t offset) {
  platform::FileAttributes attributes;
  if (!platform::GetFileAttributes(carrierPath, &attributes) || attributes.size > offset) {
    return false;
  }
  auto carrierSize = static_cast<std::uint32_t>(attributes.size);
  platform::File carrier;
  if (!carrier.OpenRead(carrierPath)) return false;

  unsigned char copy[kChunkSize];
  std::uint32_t got = 0;
  for (std::uint32_t i = 0; i < carrierSize / kChunkSize; ++i) {
    if (!carrier.Read(copy, kChunkSize, &got) || got != kChunkSize ||
        !destination.Write(copy, kChunkSize)) {
      return false;
    }
  }
  std::uint32_t rest = carrierSize % kChunkSize;
  std::memset(copy, 0, sizeof copy);
  if (!carrier.Read(copy, rest, &got) || got != rest || !destination.Write(copy, rest)) {
    return false;
  }
  // The gap, written through the buffered file rather than byte by byte.
  std::memset(copy, 0, sizeof copy);
  for (std::uint32_t gap = offset - carrierSize; gap > 0;) {
    std::uint32_t step = gap < kChunkSize ? gap : kChunkSize;
    if (!destination.Write(copy, step)) return false;
    gap -= step;
  }
  carrier.Close();
  return true;
}

// From the carrier on, with the destination open, up to the final
// report; `wipe` as in decrypt_container.cpp.
std::int32_t Encrypt(const char16_t* sourcePath, std::uint64_t plaintextSize,
                     platform::File& destination, const unsigned char* password,
                     std::int32_t passwordLength, unsigned char* wipe,
                     std::int32_t cipherIdentifier, ProgressCallback progress,
                     std::uint32_t offset, const char16_t* carrierPath,
                     ModuleInstance moduleInstance) {
  if (offset != 0 && (carrierPath == nullptr || !WriteCarrier(destination, carrierPath, offset))) {
    return kResultFailed;
  }

  FileWriter writer(destination);
  ContainerEncryptor encryptor;
  std::int32_t begun =
      encryptor.Begin(writer, cipherIdentifier, plaintextSize, password, passwordLength);
  if (wipe != nullptr && passwordLength > 0) {
    platform::SecureZero(wipe, static_cast<std::size_t>(passwordLength));
  }
  if (begun != kResultOk) return kResultFailed;

  platform::File source;
  if (!source.OpenRead(sourcePath)) return kResultFailed;

  platform::WipedBuffer<kChunkSize> wiped;  // plaintext
  unsigned char* input = wiped.items;
  std::uint32_t chunks = encryptor.ChunkCount();
  std::uint32_t got = 0;
  std::int32_t result = kResultOk;
  for (std::uint32_t i = 0; result == kResultOk && i < chunks; ++i) {
    if (!source.Read(input, kChunkSize, &got) || got != kChunkSize ||
        encryptor.PutChunk(writer, input) != kResultOk) {
      result = kResultFailed;
    } else {
      ReportWithText(progress, moduleInstance, kTextProcessingFiles, i, chunks);
    }
  }
  if (result == kResultOk) {
    auto rest = static_cast<std::uint32_t>(plaintextSize % kChunkSize);
    std::memset(input, 0, kChunkSize);
    if (!source.Read(input, rest, &got) || got != rest ||
        encryptor.Finish(writer, input, rest) != kResultOk) {
      result = kResultFailed;
    }
  }
  return result == kResultOk && destination.Flush() ? kResultOk : kResultFailed;
}

// The source's size, which the format holds in 32 bits: a file of 4 GiB
// or more is refused instead of being cut to the low 32 bits of its size.
std::int32_t SourceSize(const char16_t* sourcePath, std::uint64_t* size) {
  platform::FileAttributes attributes;
  if (!platform::GetFileAttributes(sourcePath, &attributes)) return kResultNoSource;
  *size = attributes.size;
  return attributes.size > 0xFFFFFFFFu ? kResultFailed : kResultOk;
}

}  // namespace

std::int32_t EncryptContainer(const char16_t* sourcePath, const char16_t* destinationPath,
                              const unsigned char* password, std::int32_t passwordLength,
                              std::int32_t cipherIdentifier, ProgressCallback progress,
                              std::uint32_t offset, const char16_t* carrierPath,
                              ModuleInstance moduleInstance) {
  std::uint64_t plaintextSize = 0;
  if (std::int32_t sized = SourceSize(sourcePath, &plaintextSize); sized != kResultOk) return sized;

  // Creating the destination empties it: it must be neither the source nor
  // the carrier.
  if (platform::IsSameFile(sourcePath, destinationPath) ||
      (offset != 0 && carrierPath != nullptr && platform::IsSameFile(carrierPath, destinationPath))) {
    return kResultFailed;
  }
  platform::File destination;
  if (!destination.Create(destinationPath)) return kResultFailed;
  std::int32_t result = Encrypt(sourcePath, plaintextSize, destination, password, passwordLength,
                                nullptr, cipherIdentifier, progress, offset, carrierPath,
                                moduleInstance);
  if (!destination.Close() && result == kResultOk) return kResultFailed;
  if (result == kResultOk) ReportWithText(progress, moduleInstance, kTextProcessingDone, 1, 1);
  return result;
}

std::int32_t EncryptContainerInto(const char16_t* sourcePath, platform::File& destination,
                                  unsigned char* password, std::int32_t passwordLength,
                                  std::int32_t cipherIdentifier, ProgressCallback progress,
                                  std::uint32_t offset, const char16_t* carrierPath,
                                  ModuleInstance moduleInstance) {
  std::uint64_t plaintextSize = 0;
  std::int32_t result = SourceSize(sourcePath, &plaintextSize);
  if (result == kResultOk) {
    result = Encrypt(sourcePath, plaintextSize, destination, password, passwordLength, password,
                     cipherIdentifier, progress, offset, carrierPath, moduleInstance);
  }
  if (passwordLength > 0) platform::SecureZero(password, static_cast<std::size_t>(passwordLength));
  if (result == kResultOk) ReportWithText(progress, moduleInstance, kTextProcessingDone, 1, 1);
  return result;
}
