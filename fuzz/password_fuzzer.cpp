// platform::PasswordToCodePage on arbitrary UTF-16LE text, all of it the
// password (NULs included), against an independent Windows-1251 table built
// by decoding each byte with iconv (the other direction from the product's):
// kEmpty exactly for no text, kTooLong exactly beyond 31 units, otherwise kOk
// exactly when every unit is in the table; a failure leaves 64 zero bytes and
// a length of 0, a success the table's bytes, then zeros.
#include <iconv.h>

#include <array>
#include <memory>

#include "fuzz/fuzz_support.h"
#include "platform/code_page.h"

using platform::PasswordConversion;

namespace {

std::array<unsigned char, 0x10000> table;  // each UTF-16 unit's byte, or 0

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  iconv_t decoder = ::iconv_open("UTF-16LE", "CP1251");
  for (unsigned byte = 1; byte < 256; ++byte) {
    char in[1] = {static_cast<char>(byte)}, out[8] = {};
    char *inAt = in, *outAt = out;
    std::size_t inLeft = 1, outLeft = sizeof out;
    ::iconv(decoder, nullptr, nullptr, nullptr, nullptr);
    // A byte the code page leaves undefined gives nothing.
    if (::iconv(decoder, &inAt, &inLeft, &outAt, &outLeft) != 0 || outLeft != sizeof out - 2) continue;
    const char16_t unit = static_cast<char16_t>(static_cast<unsigned char>(out[0]) | out[1] << 8);
    CHECK(unit != 0 && table[unit] == 0);  // one-to-one
    table[unit] = static_cast<unsigned char>(byte);
  }
  ::iconv_close(decoder);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::size_t length = size / 2;
  auto text = std::make_unique<char16_t[]>(length + 1);
  for (std::size_t i = 0; i < length; ++i) text[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
  unsigned char bytes[platform::kPasswordBytes], expected[platform::kPasswordBytes] = {};
  std::memset(bytes, 0xA5, sizeof bytes);  // the function must clear it
  std::size_t byteLength = 12345;
  const PasswordConversion result = platform::PasswordToCodePage(text.get(), length, bytes, &byteLength);
  bool representable = true;
  for (std::size_t i = 0; i < length && i + 1 < sizeof expected; ++i) representable &= (expected[i] = table[text[i]]) != 0;
  CHECK(result == (length == 0                                   ? PasswordConversion::kEmpty
                   : length > platform::kMaxPasswordCharacters ? PasswordConversion::kTooLong
                   : representable                               ? PasswordConversion::kOk
                                                                 : PasswordConversion::kUnrepresentable));
  if (result != PasswordConversion::kOk) std::memset(expected, 0, sizeof expected);
  CHECK(byteLength == (result == PasswordConversion::kOk ? length : 0) && std::memcmp(bytes, expected, sizeof bytes) == 0);
  return 0;
}
