// The system temporary folder. (Private scratch files in it: File::CreateScratch.)
#pragma once

#include <cstddef>

#include "platform/wide_string.h"

namespace platform {

// The temporary folder ($TMPDIR, else /tmp) as a device path ending in '\'.
bool GetTempFolder(char16_t* folder, std::size_t capacity);

template <std::size_t N>
bool GetTempFolder(char16_t (&folder)[N]) {
  return GetTempFolder(folder, N);
}

}  // namespace platform
