// Reading a package front to back: its magic and header, then one record
// at a time. Every read must deliver whole records, so a package that ends
// early is refused instead of a record being read short or twice.
#pragma once

#include <cstdint>

#include "securefile/byte_stream.h"
#include "securefile/package_format.h"

namespace securefile {

enum class RecordRead {
  kOk,
  kShort,         // the package ends before the record does
  kUnterminated,  // the record's path has no NUL within its 260 units
};

// Reads the magic and the header record; false unless both are complete and
// sound and the magic is "~KVA".
bool ReadPackageHeader(ByteReader& package, PackageRecord* header);

// Reads the next 532-byte record.
RecordRead ReadPackageRecord(ByteReader& package, PackageRecord* record);

// Reads and throws away `size` bytes of content; false if they are not all
// there.
bool SkipPackageContent(ByteReader& package, std::uint32_t size);

}  // namespace securefile
