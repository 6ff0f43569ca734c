// EncryptContainer: a plain file into a container file, optionally behind a
// carrier.
#include <cstring>

#include "platform/files.h"
#include "platform/secure_zero.h"
#include "securefile/container_writer.h"
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

}  // namespace

std::int32_t EncryptContainer(const char16_t* sourcePath, const char16_t* destinationPath,
                              const unsigned char* password, std::int32_t passwordLength,
                              std::int32_t cipherIdentifier, ProgressCallback progress,
                              std::uint32_t offset, const char16_t* carrierPath,
                              ModuleInstance moduleInstance) {
  platform::FileAttributes attributes;
  if (!platform::GetFileAttributes(sourcePath, &attributes)) return kResultNoSource;
  // The format holds sizes in 32 bits. A file of 4 GiB or more is refused
  // instead of being cut to the low 32 bits of its size.
  if (attributes.size > 0xFFFFFFFFu) return kResultFailed;
  std::uint64_t plaintextSize = attributes.size;

  // Creating the destination empties it: it must be neither the source nor
  // the carrier.
  if (platform::IsSameFile(sourcePath, destinationPath) ||
      (offset != 0 && carrierPath != nullptr && platform::IsSameFile(carrierPath, destinationPath))) {
    return kResultFailed;
  }
  platform::File destination;
  if (!destination.Create(destinationPath)) return kResultFailed;

  if (offset != 0 && (carrierPath == nullptr || !WriteCarrier(destination, carrierPath, offset))) {
    return kResultFailed;
  }

  FileWriter writer(destination);
  ContainerEncryptor encryptor;
  if (encryptor.Begin(writer, cipherIdentifier, plaintextSize, password, passwordLength) !=
      kResultOk) {
    return kResultFailed;
  }

  platform::File source;
  if (!source.OpenRead(sourcePath)) return kResultFailed;

  unsigned char input[kChunkSize];
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
    std::memset(input, 0, sizeof input);
    if (!source.Read(input, rest, &got) || got != rest ||
        encryptor.Finish(writer, input, rest) != kResultOk) {
      result = kResultFailed;
    }
  }
  platform::SecureZero(input, sizeof input);
  if (result != kResultOk) return kResultFailed;

  source.Close();
  if (!destination.Close()) return kResultFailed;
  ReportWithText(progress, moduleInstance, kTextProcessingDone, 1, 1);
  return kResultOk;
}
