// Command-line paths into the library's device paths.
#pragma once

#include <string>

#include "platform/wide_string.h"

namespace cli {

// A device path, as the library takes it.
struct DevicePath {
  char16_t text[platform::kMaxPath] = {};
};

// Makes `argument` (UTF-8) a full device path as the host reads it
// (platform::TypedToDevicePath): absolute against the working folder, no
// "." components, doubled or trailing separators; on Windows the native
// path with its drive or UNC root, '/' taken as '\'.
// An absolute path matters: a package keeps each entry's path, and only a
// path from the root tells the unpacker where the packed tree starts. False
// with a message when the path has no device spelling.
bool ToDevicePath(const std::string& argument, DevicePath* path, std::string* error);

}  // namespace cli
