// UTF-8 <-> UTF-16 without any path rules (declared in device_path.h),
// the same on every host.
#include <cstdint>

#include "platform/device_path.h"

namespace platform {

bool Utf8ToUtf16(const char* text, std::size_t length, char16_t* out, std::size_t capacity) {
  if (capacity == 0) return false;
  std::size_t used = 0;
  auto put = [&](char16_t unit) {
    if (used + 1 >= capacity) return false;
    out[used++] = unit;
    return true;
  };
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  std::size_t i = 0;
  bool ok = true;
  while (ok && i < length) {
    unsigned char lead = bytes[i];
    std::uint32_t code = 0;
    std::size_t extra = 0;
    std::uint32_t minimum = 0;
    if (lead < 0x80) {
      code = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      code = lead & 0x1Fu;
      extra = 1;
      minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      code = lead & 0x0Fu;
      extra = 2;
      minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      code = lead & 0x07u;
      extra = 3;
      minimum = 0x10000;
    } else {
      ok = false;
      break;
    }
    if (i + extra >= length) {  // a sequence cut off by the end of the text
      ok = false;
      break;
    }
    for (std::size_t k = 1; k <= extra; ++k) {
      unsigned char next = bytes[i + k];
      if ((next & 0xC0) != 0x80) {
        ok = false;
        break;
      }
      code = (code << 6) | (next & 0x3Fu);
    }
    if (!ok) break;
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
      ok = false;
      break;
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      ok = put(static_cast<char16_t>(0xD800 + (code >> 10))) &&
           put(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
    } else {
      ok = put(static_cast<char16_t>(code));
    }
    i += extra + 1;
  }
  out[ok ? used : 0] = u'\0';
  return ok;
}

bool Utf16ToUtf8(const char16_t* text, std::size_t length, char* out, std::size_t capacity) {
  if (capacity == 0) return false;
  std::size_t used = 0;
  auto put = [&](std::uint32_t byte) {
    if (used + 1 >= capacity) return false;
    out[used++] = static_cast<char>(byte);
    return true;
  };
  bool ok = true;
  for (std::size_t i = 0; ok && i < length; ++i) {
    std::uint32_t code = text[i];
    if (code >= 0xD800 && code <= 0xDBFF) {
      if (i + 1 >= length || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) {
        ok = false;
        break;
      }
      code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
      ++i;
    } else if (code >= 0xDC00 && code <= 0xDFFF) {
      ok = false;
      break;
    }
    if (code < 0x80) {
      ok = put(code);
    } else if (code < 0x800) {
      ok = put(0xC0 | (code >> 6)) && put(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      ok = put(0xE0 | (code >> 12)) && put(0x80 | ((code >> 6) & 0x3F)) &&
           put(0x80 | (code & 0x3F));
    } else {
      ok = put(0xF0 | (code >> 18)) && put(0x80 | ((code >> 12) & 0x3F)) &&
           put(0x80 | ((code >> 6) & 0x3F)) && put(0x80 | (code & 0x3F));
    }
  }
  out[ok ? used : 0] = '\0';
  return ok;
}

}  // namespace platform
