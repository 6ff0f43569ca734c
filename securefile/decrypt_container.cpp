// DecryptContainer: a container file into a plain file.
#include <cstring>

#include "platform/files.h"
#include "platform/secure_zero.h"
#include "securefile/container_reader.h"
#include "securefile/open_file_operations.h"
#include "securefile/progress_report.h"
#include "securefile/securefile.h"

using namespace securefile;

namespace {

// Opens the source and moves to the container: its size from there, or
// false. The full size, so that a container inside a file of 4 GiB or
// more is measured against what is really there.
bool OpenSource(const char16_t* sourcePath, std::uint32_t offset, platform::File& source,
                std::uint64_t* size) {
  platform::FileAttributes attributes;
  if (!platform::GetFileAttributes(sourcePath, &attributes)) return false;
  *size = attributes.size;
  if (!source.OpenRead(sourcePath)) return false;
  if (offset != 0) {
    if (*size < offset || !source.Seek(offset)) return false;
    *size -= offset;
  }
  return true;
}

// From the header on, with both files open, up to the final report, which
// the callers make once the output is settled. `wipe`, when given, is the
// password's own buffer, wiped once the key is derived.
std::int32_t Decrypt(platform::File& source, std::uint64_t size, platform::File& destination,
                     const unsigned char* password, std::int32_t passwordLength,
                     unsigned char* wipe, ProgressCallback progress,
                     ModuleInstance moduleInstance) {
  FileReader reader(source);
  FileWriter writer(destination);
  ContainerHeader header;
  if (ReadContainerHeader(reader, size, &header) != HeaderStatus::kOk) return kResultFailed;

  ContainerDecryptor decryptor;
  std::int32_t result = decryptor.Begin(header, password, passwordLength);
  if (wipe != nullptr && passwordLength > 0) {
    platform::SecureZero(wipe, static_cast<std::size_t>(passwordLength));
  }
  if (result != kResultOk) return result;

  platform::WipedBuffer<kCipherOutputSize> wiped;  // plaintext
  unsigned char* plain = wiped.items;
  std::uint32_t chunks = decryptor.ChunkCount();
  while (result == kResultOk && !decryptor.Finished()) {
    ContainerDecryptor::Piece piece;
    result = decryptor.Next(reader, plain, &piece);
    if (result == kResultOk && !writer.Write(plain, piece.length)) result = kResultFailed;
    if (result == kResultOk && !piece.final) {
      ReportWithText(progress, moduleInstance, kTextProcessingFiles, piece.index, chunks);
    }
  }
  // Everything buffered must reach the file before success is reported.
  return result == kResultOk && destination.Flush() ? kResultOk : kResultFailed;
}

}  // namespace

std::int32_t DecryptContainer(const char16_t* sourcePath, const char16_t* destinationPath,
                              const unsigned char* password, std::int32_t passwordLength,
                              ProgressCallback progress, std::uint32_t offset,
                              ModuleInstance moduleInstance) {
  platform::File source;
  std::uint64_t size = 0;
  if (!OpenSource(sourcePath, offset, source, &size)) return kResultFailed;
  // Emptying the destination must never destroy the source itself.
  if (platform::IsSameFile(source, destinationPath)) return kResultFailed;
  platform::File destination;
  if (!destination.Create(destinationPath)) return kResultFailed;
  std::int32_t result = Decrypt(source, size, destination, password, passwordLength, nullptr,
                                progress, moduleInstance);
  // A file whose close fails is a failed write.
  if (!destination.Close() && result == kResultOk) return kResultFailed;
  if (result == kResultOk) ReportWithText(progress, moduleInstance, kTextProcessingDone, 1, 1);
  return result;
}

std::int32_t DecryptContainerInto(const char16_t* sourcePath, platform::File& destination,
                                  unsigned char* password, std::int32_t passwordLength,
                                  ProgressCallback progress, std::uint32_t offset,
                                  ModuleInstance moduleInstance) {
  platform::File source;
  std::uint64_t size = 0;
  std::int32_t result = OpenSource(sourcePath, offset, source, &size)
                            ? Decrypt(source, size, destination, password, passwordLength,
                                      password, progress, moduleInstance)
                            : kResultFailed;
  if (passwordLength > 0) platform::SecureZero(password, static_cast<std::size_t>(passwordLength));
  if (result == kResultOk) ReportWithText(progress, moduleInstance, kTextProcessingDone, 1, 1);
  return result;
}
