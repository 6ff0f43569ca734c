#include "platform/temp_files.h"

#include <cstdlib>
#include <cstring>

#include "platform/device_path.h"

namespace platform {

bool GetTempFolder(char16_t* folder, std::size_t capacity) {
  const char* host = std::getenv("TMPDIR");
  if (host == nullptr || host[0] != '/') host = "/tmp";
  char withSlash[kMaxHostPath];
  std::size_t length = std::strlen(host);
  if (length + 2 > sizeof withSlash) return false;
  std::memcpy(withSlash, host, length + 1);
  if (withSlash[length - 1] != '/') {
    withSlash[length] = '/';
    withSlash[length + 1] = '\0';
  }
  return ToDevicePath(withSlash, folder, capacity);
}

}  // namespace platform
