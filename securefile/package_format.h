// The KVA package format: the plain archive a container carries.
//
//   offset  length  content
//   0       4       magic "~KVA"
//   4       532     package header (a record)
//   536     532     first entry record, then its content if it is a file,
//   ...             then the next record, and so on: entryCount entries
//
// A record is 260 UTF-16LE code units of path (ending at the first NUL,
// which must be among them)
// followed by three little-endian 32-bit words:
//   header:       entryCount, totalBytes, reserved (0)
//   folder entry: kind 0, size 0, depth
//   file entry:   kind 1 (any non-zero), size, depth
// An entry's path is its full path where it was packed; its last depth + 1
// components are its path relative to the folder that held the packed root.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/wide_string.h"

namespace securefile {

inline constexpr std::uint32_t kRecordSize = 532;
inline constexpr std::uint32_t kRecordPathUnits = 260;
inline constexpr std::uint32_t kPackageHeaderEnd = 4 + kRecordSize;

struct PackageRecord {
  char16_t path[kRecordPathUnits] = {};
  std::uint32_t first = 0;   // header: entryCount; entry: kind
  std::uint32_t second = 0;  // header: totalBytes; entry: size
  std::uint32_t third = 0;   // header: reserved; entry: depth
};

// The 532 bytes of a record. Decoding is false when the stored path has no
// NUL within its 260 units: no packer writes such a record, and where its
// path ends could only be guessed. The decoded path is NUL-terminated in
// memory either way (cut at its 260th unit), for messages.
void EncodeRecord(const PackageRecord& record, unsigned char (&bytes)[kRecordSize]);
bool DecodeRecord(const unsigned char (&bytes)[kRecordSize], PackageRecord* record);

inline constexpr std::uint32_t kKindFolder = 0;
inline constexpr std::uint32_t kKindFile = 1;

// Size of a package of `entryCount` entries holding `totalBytes` of file
// content (the plaintext size of a sealed container).
constexpr std::uint64_t PackageSize(std::uint32_t entryCount, std::uint64_t totalBytes) {
  return std::uint64_t{kPackageHeaderEnd} + std::uint64_t{kRecordSize} * entryCount + totalBytes;
}

}  // namespace securefile
