#include "cli/package_records.h"

#include "cli/command_support.h"
#include "cli/messages.h"
#include "securefile/package_reader.h"
#include "securefile/unpack.h"

namespace cli {

std::string PackageEntry::Shown() const {
  return safe ? DisplayPath(relative) : DisplayPath(record.path) + "  (unsafe path)";
}

bool WalkPackage(securefile::ByteReader& package, const securefile::PackageRecord& header,
                 const std::function<bool(std::uint32_t)>& pass,
                 const std::function<bool(const PackageEntry&, std::string*)>& visit,
                 std::string* problem) {
  PackageEntry entry;
  for (std::uint32_t i = 0; i < header.first; ++i) {
    entry.number = i + 1;
    securefile::RecordRead read = securefile::ReadPackageRecord(package, &entry.record);
    if (read == securefile::RecordRead::kShort) {
      *problem = "the package ends early: " + std::to_string(i) + " of " +
                 std::to_string(header.first) + " entries";
      return false;
    }
    if (read == securefile::RecordRead::kUnterminated) {
      *problem = "entry " + std::to_string(entry.number) +
                 ": its path does not end within its record: " +
                 Quoted(DisplayPath(entry.record.path) + "...");
      return false;
    }
    entry.isFile = entry.record.first != securefile::kKindFolder;
    entry.safe = securefile::SafeRelativePath(entry.record, entry.relative) == kResultOk;
    if (!visit(entry, problem)) return false;
    if (entry.isFile && !pass(entry.record.second)) {
      *problem = "the package ends early, inside the content of " + Quoted(entry.Shown());
      return false;
    }
  }
  return true;
}

}  // namespace cli
