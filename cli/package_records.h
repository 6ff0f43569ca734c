// A package's records read front to back without unpacking anything: kva
// list shows them, kva unpack looks at all of them before it writes a file.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "securefile/byte_stream.h"
#include "securefile/package_format.h"

namespace cli {

struct PackageEntry {
  std::uint32_t number = 0;  // 1 for the first entry
  securefile::PackageRecord record;
  bool isFile = false;
  bool safe = false;  // its relative path stays below any destination
  char16_t relative[platform::kMaxPath] = {};
  // The relative path in the host's spelling, or the stored path marked
  // unsafe.
  std::string Shown() const;
};

// Reads the entries that follow the package's header (read already) one by
// one, handing each to `visit` and passing over a file's content with
// `pass`. False with the problem in words when the package ends early or a
// path does not end within its record, or when `visit` said stop (with its
// own problem).
bool WalkPackage(securefile::ByteReader& package, const securefile::PackageRecord& header,
                 const std::function<bool(std::uint32_t)>& pass,
                 const std::function<bool(const PackageEntry&, std::string*)>& visit,
                 std::string* problem);

}  // namespace cli
