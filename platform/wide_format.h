// Formatted printing into a fixed wide-string buffer.
#pragma once

#include <cstddef>

namespace platform {

// Writes `format` into `out` (capacity units, terminator included), putting
// the texts of `arguments` in place of each "%s" (also written "% s") in
// turn; "%%" gives "%". The result is cut to fit, never written past the
// buffer; returns false when it was cut. A placeholder without an argument
// left stays empty.
bool WideFormat(char16_t* out, std::size_t capacity, const char16_t* format,
                const char16_t* const* arguments, std::size_t argumentCount);

}  // namespace platform
