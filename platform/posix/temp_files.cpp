#include "platform/temp_files.h"

#include <cstdlib>
#include <cstring>
#include <unistd.h>

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

bool CreateTempFile(const char16_t* folder, const char16_t* prefix, char16_t* path) {
  char host[kMaxHostPath];
  char hostPrefix[kMaxHostPath];
  if (!ToHostPath(folder, host) || !ToHostPath(prefix, hostPrefix)) return false;
  if (std::strchr(hostPrefix, '/') != nullptr) return false;
  std::size_t length = std::strlen(host);
  bool needsSlash = length > 0 && host[length - 1] != '/';
  if (length + 1 + std::strlen(hostPrefix) + 6 + 1 > sizeof host) return false;
  if (needsSlash) std::strcat(host, "/");
  std::strcat(host, hostPrefix);
  std::strcat(host, "XXXXXX");
  int descriptor = ::mkstemp(host);  // O_EXCL, mode 0600
  if (descriptor < 0) return false;
  ::close(descriptor);
  if (!ToDevicePath(host, path, kMaxPath)) {
    ::unlink(host);
    return false;
  }
  return true;
}

}  // namespace platform
