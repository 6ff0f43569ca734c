#include "platform/string_table.h"

#include "platform/language.h"

namespace platform {
namespace {

const char16_t* FindText(const StringTable* table, std::uint32_t id) {
  for (std::size_t e = 0; e < table->count; ++e) {
    if (table->entries[e].id == id) return table->entries[e].text;
  }
  return nullptr;
}

}  // namespace

std::size_t LoadString(ModuleInstance instance, std::uint32_t id, char16_t* buffer,
                       std::size_t capacity) {
  if (capacity == 0) return 0;
  for (std::size_t i = 0; i < capacity; ++i) buffer[i] = u'\0';
  if (instance == nullptr) return 0;
  const char16_t* text = nullptr;
  if (instance->english != nullptr && ResourceLanguage() == Language::kEnglish) {
    text = FindText(instance->english, id);
  }
  if (text == nullptr) text = FindText(instance, id);
  if (text == nullptr) return 0;
  std::size_t length = 0;
  while (length + 1 < capacity && text[length] != u'\0') {
    buffer[length] = text[length];
    ++length;
  }
  return length;
}

}  // namespace platform
