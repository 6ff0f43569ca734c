#include "securefile/package_format.h"

#include "securefile/container_format.h"

namespace securefile {

void EncodeRecord(const PackageRecord& record, unsigned char (&bytes)[kRecordSize]) {
  for (std::uint32_t i = 0; i < kRecordPathUnits; ++i) {
    bytes[2 * i] = static_cast<unsigned char>(record.path[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<unsigned char>(record.path[i] >> 8);
  }
  WriteLittleEndian32(record.first, bytes + 520);
  WriteLittleEndian32(record.second, bytes + 524);
  WriteLittleEndian32(record.third, bytes + 528);
}

bool DecodeRecord(const unsigned char (&bytes)[kRecordSize], PackageRecord* record) {
  bool terminated = false;
  for (std::uint32_t i = 0; i < kRecordPathUnits; ++i) {
    record->path[i] = static_cast<char16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
    if (record->path[i] == u'\0') terminated = true;
  }
  record->path[kRecordPathUnits - 1] = u'\0';
  record->first = ReadLittleEndian32(bytes + 520);
  record->second = ReadLittleEndian32(bytes + 524);
  record->third = ReadLittleEndian32(bytes + 528);
  return terminated;
}

}  // namespace securefile
