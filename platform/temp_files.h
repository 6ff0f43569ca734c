// The system temporary folder and private temporary files.
#pragma once

#include <cstddef>

#include "platform/wide_string.h"

namespace platform {

// The temporary folder ($TMPDIR, else /tmp) as a device path ending in '\'.
bool GetTempFolder(char16_t* folder, std::size_t capacity);

// Creates a new, empty file in `folder` whose name starts with `prefix` and
// ends in a unique suffix, readable and writable by its owner only (0600),
// and writes its path to `path` (capacity kMaxPath). False when no such file
// could be created; nothing is left behind then.
bool CreateTempFile(const char16_t* folder, const char16_t* prefix, char16_t* path);

template <std::size_t N>
bool GetTempFolder(char16_t (&folder)[N]) {
  return GetTempFolder(folder, N);
}

}  // namespace platform
