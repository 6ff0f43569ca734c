#include "platform/host_text.h"

#include <cstring>

#include "platform/device_path.h"

namespace platform {

void HostText(const char16_t* deviceText, char16_t* shown, std::size_t capacity) {
  if (capacity == 0) return;
  char host[kMaxHostPath];
  if (ToHostPath(deviceText, host) && Utf8ToUtf16(host, std::strlen(host), shown, capacity)) {
    return;
  }
  std::size_t i = 0;
  for (; i + 1 < capacity && deviceText[i] != u'\0'; ++i) shown[i] = deviceText[i];
  shown[i] = u'\0';
}

}  // namespace platform
