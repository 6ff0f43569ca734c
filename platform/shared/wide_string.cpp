#include "platform/wide_string.h"

namespace platform {

std::size_t WideLength(const char16_t* text) {
  std::size_t length = 0;
  while (text[length] != u'\0') ++length;
  return length;
}

bool WideCopy(char16_t* destination, std::size_t capacity, const char16_t* source) {
  if (capacity == 0) return false;
  std::size_t length = WideLength(source);
  if (length >= capacity) {
    destination[0] = u'\0';
    return false;
  }
  for (std::size_t i = 0; i <= length; ++i) destination[i] = source[i];
  return true;
}

bool WideAppend(char16_t* destination, std::size_t capacity, const char16_t* source) {
  std::size_t used = WideLength(destination);
  std::size_t length = WideLength(source);
  if (used + length >= capacity) return false;
  for (std::size_t i = 0; i <= length; ++i) destination[used + i] = source[i];
  return true;
}

bool WideEqual(const char16_t* a, const char16_t* b) {
  std::size_t i = 0;
  for (; a[i] != u'\0' && a[i] == b[i]; ++i) {
  }
  return a[i] == b[i];
}

}  // namespace platform
