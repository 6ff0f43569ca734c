#include "securefile/package_reader.h"

#include <cstring>

#include "securefile/container_format.h"

namespace securefile {

bool ReadPackageHeader(ByteReader& package, PackageRecord* header) {
  unsigned char magic[4] = {};
  std::uint32_t got = 0;
  if (!package.Read(magic, 4, &got) || got != 4 || std::memcmp(magic, kMagic, 4) != 0) {
    return false;
  }
  return ReadPackageRecord(package, header) == RecordRead::kOk;
}

RecordRead ReadPackageRecord(ByteReader& package, PackageRecord* record) {
  unsigned char bytes[kRecordSize] = {};
  std::uint32_t got = 0;
  if (!package.Read(bytes, kRecordSize, &got) || got != kRecordSize) return RecordRead::kShort;
  return DecodeRecord(bytes, record) ? RecordRead::kOk : RecordRead::kUnterminated;
}

bool SkipPackageContent(ByteReader& package, std::uint32_t size) {
  unsigned char block[kChunkSize];
  while (size > 0) {
    std::uint32_t step = size < kChunkSize ? size : kChunkSize;
    std::uint32_t got = 0;
    if (!package.Read(block, step, &got) || got != step) return false;
    size -= step;
  }
  return true;
}

}  // namespace securefile
