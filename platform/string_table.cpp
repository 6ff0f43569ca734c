#include "platform/string_table.h"

namespace platform {

std::size_t LoadString(ModuleInstance instance, std::uint32_t id, char16_t* buffer,
                       std::size_t capacity) {
  if (capacity == 0) return 0;
  for (std::size_t i = 0; i < capacity; ++i) buffer[i] = u'\0';
  if (instance == nullptr) return 0;
  for (std::size_t e = 0; e < instance->count; ++e) {
    if (instance->entries[e].id != id) continue;
    const char16_t* text = instance->entries[e].text;
    std::size_t length = 0;
    while (length + 1 < capacity && text[length] != u'\0') {
      buffer[length] = text[length];
      ++length;
    }
    return length;
  }
  return 0;
}

}  // namespace platform
