// What a control shows for a device path (declared in device_path.h), the
// same on every host.
#include <cstring>

#include "platform/device_path.h"

namespace platform {

void HostPathForDisplay(const char16_t* devicePath, char16_t* shown, std::size_t capacity) {
  if (capacity == 0) return;
  char host[kMaxHostPath];
  if (ToHostPath(devicePath, host) && Utf8ToUtf16(host, std::strlen(host), shown, capacity)) {
    return;
  }
  std::size_t i = 0;
  for (; i + 1 < capacity && devicePath[i] != u'\0'; ++i) shown[i] = devicePath[i];
  shown[i] = u'\0';
}

}  // namespace platform
