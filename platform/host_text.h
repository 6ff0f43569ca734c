// What a control shows for a device path.
#pragma once

#include <cstddef>

namespace platform {

// The host spelling of `deviceText` (on Linux '/' for '\'), for showing to
// the user: the device spelling stays inside the program. A text that has
// no host spelling, or whose host spelling does not fit, is shown as it is
// (cut to fit). `capacity` counts the terminator.
void HostText(const char16_t* deviceText, char16_t* shown, std::size_t capacity);

template <std::size_t N>
void HostText(const char16_t* deviceText, char16_t (&shown)[N]) {
  HostText(deviceText, shown, N);
}

}  // namespace platform
