#include "platform/wide_format.h"

namespace platform {

bool WideFormat(char16_t* out, std::size_t capacity, const char16_t* format,
                const char16_t* const* arguments, std::size_t argumentCount) {
  if (capacity == 0) return false;
  std::size_t used = 0;
  std::size_t nextArgument = 0;
  bool fits = true;
  auto put = [&](char16_t unit) {
    if (used + 1 < capacity) {
      out[used++] = unit;
    } else {
      fits = false;
    }
  };
  for (const char16_t* at = format; *at != u'\0'; ++at) {
    if (*at != u'%') {
      put(*at);
      continue;
    }
    if (at[1] == u'%') {
      put(u'%');
      ++at;
      continue;
    }
    std::size_t skip = at[1] == u's' ? 1 : (at[1] == u' ' && at[2] == u's') ? 2 : 0;
    if (skip == 0) {
      put(u'%');
      continue;
    }
    at += skip;
    if (nextArgument < argumentCount) {
      for (const char16_t* text = arguments[nextArgument]; text != nullptr && *text != u'\0'; ++text) {
        put(*text);
      }
    }
    ++nextArgument;
  }
  out[used] = u'\0';
  return fits;
}

}  // namespace platform
