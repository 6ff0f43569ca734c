// The Pocket PC shell's services that have nothing to do on a desktop.
//
// The device shows an on-screen keyboard (the input panel) that windows ask
// to raise or lower, tells windows when they are activated or a system
// setting changed so that they can follow the input panel, and initialises
// extra controls. A desktop, Linux or Windows, has a real keyboard and none
// of these, so the hooks keep the program's calls in their places and do
// nothing.
#pragma once

#include <cstdint>

#include "platform/window.h"

namespace platform {

// What the shell keeps per window between activations.
struct ShellActivationRecord {
  std::uint32_t size = 0;
  std::uint32_t lastFocus = 0;
  std::uint32_t flags = 0;
};

enum class InputPanel { kUp, kDown };

inline void InitShellControls() {}
inline void SetInputPanel(Window /*window*/, InputPanel /*position*/) {}
inline void HandleActivation(Window /*window*/, bool /*active*/,
                             ShellActivationRecord* /*record*/) {}
inline void HandleSettingChange(Window /*window*/, ShellActivationRecord* /*record*/) {}

}  // namespace platform
