// The Pocket PC shell's services that have nothing to do on a desktop.
//
// The device shows an on-screen keyboard (the input panel) that windows ask
// to raise or lower, tells windows when they are activated or a system
// setting changed so that they can follow the input panel, and initialises
// extra controls. A desktop has a real keyboard and none of these, so the
// hooks keep the program's calls in their places and do nothing.
#pragma once

#include <cstdint>

class QWidget;

namespace platform::qt {

// What the shell keeps per window between activations.
struct ShellActivationRecord {
  std::uint32_t size = 0;
  std::uint32_t lastFocus = 0;
  std::uint32_t flags = 0;
};

enum class InputPanel { kUp, kDown };

inline void InitShellControls() {}
inline void SetInputPanel(QWidget* /*window*/, InputPanel /*position*/) {}
inline void HandleActivation(QWidget* /*window*/, bool /*active*/,
                             ShellActivationRecord* /*record*/) {}
inline void HandleSettingChange(QWidget* /*window*/, ShellActivationRecord* /*record*/) {}

}  // namespace platform::qt
