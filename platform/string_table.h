// String tables as module instances.
//
// A module instance is what the library operations receive to look their
// texts up by id; the program's own table is in res/. A text is loaded into
// a caller's fixed buffer that is zeroed first, so a missing id (or a null
// instance) gives an empty text.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

struct StringEntry {
  std::uint32_t id;
  const char16_t* text;
};

struct StringTable {
  const StringEntry* entries;
  std::size_t count;
  // The same texts in English, or null. LoadString takes a text from here
  // when the resource language (platform/language.h) is English, and from
  // `entries` when this table lacks the id.
  const StringTable* english = nullptr;
};

using ModuleInstance = const StringTable*;

// Loads text `id`, in the resource language, into `buffer` (capacity units,
// terminator included), cutting it to capacity - 1 units. Returns the number
// of units loaded.
std::size_t LoadString(ModuleInstance instance, std::uint32_t id, char16_t* buffer,
                       std::size_t capacity);

template <std::size_t N>
std::size_t LoadString(ModuleInstance instance, std::uint32_t id, char16_t (&buffer)[N]) {
  return LoadString(instance, id, buffer, N);
}

}  // namespace platform
