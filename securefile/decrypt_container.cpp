// DecryptContainer: a container file into a plain file.
#include <cstring>

#include "platform/files.h"
#include "platform/secure_zero.h"
#include "securefile/container_reader.h"
#include "securefile/progress_report.h"
#include "securefile/securefile.h"

using namespace securefile;

std::int32_t DecryptContainer(const char16_t* sourcePath, const char16_t* destinationPath,
                              const unsigned char* password, std::int32_t passwordLength,
                              ProgressCallback progress, std::uint32_t offset,
                              ModuleInstance moduleInstance) {
  platform::FileAttributes attributes;
  if (!platform::GetFileAttributes(sourcePath, &attributes)) return kResultFailed;
  // The full size, so that a container inside a file of 4 GiB or more is
  // measured against what is really there.
  std::uint64_t size = attributes.size;

  platform::File source;
  if (!source.OpenRead(sourcePath)) return kResultFailed;
  if (offset != 0) {
    if (size < offset || !source.Seek(offset)) return kResultFailed;
    size -= offset;
  }

  // Emptying the destination must never destroy the source itself.
  if (platform::IsSameFile(source, destinationPath)) return kResultFailed;
  platform::File destination;
  if (!destination.Create(destinationPath)) return kResultFailed;

  FileReader reader(source);
  FileWriter writer(destination);
  ContainerHeader header;
  if (ReadContainerHeader(reader, size, &header) != HeaderStatus::kOk) return kResultFailed;

  ContainerDecryptor decryptor;
  std::int32_t result = decryptor.Begin(header, password, passwordLength);
  if (result != kResultOk) return result;

  unsigned char plain[kCipherOutputSize];
  std::uint32_t chunks = decryptor.ChunkCount();
  while (result == kResultOk && !decryptor.Finished()) {
    ContainerDecryptor::Piece piece;
    result = decryptor.Next(reader, plain, &piece);
    if (result == kResultOk && !writer.Write(plain, piece.length)) result = kResultFailed;
    if (result == kResultOk && !piece.final) {
      ReportWithText(progress, moduleInstance, kTextProcessingFiles, piece.index, chunks);
    }
  }
  platform::SecureZero(plain, sizeof plain);
  if (result != kResultOk) return kResultFailed;

  // Everything buffered must reach the file before success is reported.
  bool closed = destination.Close();
  source.Close();
  if (!closed) return kResultFailed;
  ReportWithText(progress, moduleInstance, kTextProcessingDone, 1, 1);
  return kResultOk;
}
