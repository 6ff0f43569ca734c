// platform::PasswordToCodePage (platform/code_page.h) on arbitrary UTF-16.
//
// The input's bytes are UTF-16LE units, all of them the password (NULs
// included: the function is given a length, not a terminated string), in a
// heap buffer of exactly that length so that reading past it is caught.
//
// Checked for every input:
//   - the verdict: kEmpty exactly for length 0, kTooLong exactly for more
//     than 31 units, otherwise kOk or kUnrepresentable;
//   - on any failure the 64 bytes are all zero and the length is 0;
//   - on success: 1 to 31 bytes, one per unit, NUL-terminated, no NUL
//     inside, everything behind the terminator still zero;
//   - against an independent table of Windows-1251, built once by decoding
//     each byte 0x01-0xFF with iconv (the other direction from the one the
//     product uses): a success means every unit is in the table and each
//     byte is the table's byte for its unit; a kUnrepresentable means some
//     unit is NUL or not in the table;
//   - on success, iconv from CP1251 back to UTF-16 gives the input again.
#include <iconv.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>

#include "fuzz/fuzz_support.h"
#include "platform/code_page.h"

using platform::PasswordConversion;

namespace {

// For every UTF-16 unit, its Windows-1251 byte, or 0 if it has none.
const std::array<unsigned char, 0x10000>& Table() {
  static const std::array<unsigned char, 0x10000> table = [] {
    std::array<unsigned char, 0x10000> made{};
    iconv_t decoder = ::iconv_open("UTF-16LE", "CP1251");
    CHECK(decoder != reinterpret_cast<iconv_t>(-1));
    for (unsigned byte = 1; byte < 256; ++byte) {
      char in[1] = {static_cast<char>(byte)};
      unsigned char out[8] = {};
      char* inAt = in;
      char* outAt = reinterpret_cast<char*>(out);
      std::size_t inLeft = 1;
      std::size_t outLeft = sizeof out;
      ::iconv(decoder, nullptr, nullptr, nullptr, nullptr);
      if (::iconv(decoder, &inAt, &inLeft, &outAt, &outLeft) == static_cast<std::size_t>(-1)) {
        continue;  // a byte the code page leaves undefined
      }
      if (sizeof out - outLeft != 2) continue;
      char16_t unit = static_cast<char16_t>(out[0] | out[1] << 8);
      CHECK(unit != 0);
      CHECK(made[unit] == 0);  // the code page is one-to-one
      made[unit] = static_cast<unsigned char>(byte);
    }
    ::iconv_close(decoder);
    return made;
  }();
  return table;
}

// Windows-1251 bytes back to UTF-16 with iconv.
std::u16string Decode(const unsigned char* bytes, std::size_t length) {
  iconv_t decoder = ::iconv_open("UTF-16LE", "CP1251");
  CHECK(decoder != reinterpret_cast<iconv_t>(-1));
  char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes));
  std::size_t inLeft = length;
  unsigned char out[4 * platform::kPasswordBytes] = {};
  char* outAt = reinterpret_cast<char*>(out);
  std::size_t outLeft = sizeof out;
  std::size_t result = ::iconv(decoder, &in, &inLeft, &outAt, &outLeft);
  ::iconv_close(decoder);
  CHECK(result != static_cast<std::size_t>(-1) && inLeft == 0);
  std::size_t produced = sizeof out - outLeft;
  CHECK(produced % 2 == 0);
  std::u16string text;
  for (std::size_t i = 0; i < produced; i += 2) {
    text.push_back(static_cast<char16_t>(out[i] | out[i + 1] << 8));
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  Table();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::size_t length = size / 2;
  auto text = std::make_unique<char16_t[]>(length + 1);  // never empty for make_unique
  for (std::size_t i = 0; i < length; ++i) {
    text[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
  }

  unsigned char bytes[platform::kPasswordBytes];
  std::memset(bytes, 0xA5, sizeof bytes);  // the function must clear it
  std::size_t byteLength = 12345;
  PasswordConversion result = platform::PasswordToCodePage(text.get(), length, bytes, &byteLength);

  const auto& table = Table();
  const bool allInTable =
      std::all_of(text.get(), text.get() + length, [&](char16_t c) { return table[c] != 0; });

  if (length == 0) {
    CHECK(result == PasswordConversion::kEmpty);
  } else if (length > platform::kMaxPasswordCharacters) {
    CHECK(result == PasswordConversion::kTooLong);
  } else {
    CHECK(result == PasswordConversion::kOk || result == PasswordConversion::kUnrepresentable);
    // The table decides, independently of the product's iconv call.
    CHECK((result == PasswordConversion::kOk) == allInTable);
  }

  if (result != PasswordConversion::kOk) {
    CHECK(byteLength == 0);
    CHECK(std::all_of(bytes, bytes + sizeof bytes, [](unsigned char b) { return b == 0; }));
    return 0;
  }

  CHECK(byteLength >= 1 && byteLength <= platform::kMaxPasswordCharacters);
  CHECK(byteLength == length);
  CHECK(std::all_of(bytes + byteLength, bytes + sizeof bytes, [](unsigned char b) { return b == 0; }));
  CHECK(std::memchr(bytes, 0, byteLength) == nullptr);
  for (std::size_t i = 0; i < length; ++i) CHECK(bytes[i] == table[text[i]]);
  CHECK(Decode(bytes, byteLength) == std::u16string(text.get(), length));
  return 0;
}
