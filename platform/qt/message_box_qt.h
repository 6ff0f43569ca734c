// The message-box service of the application: real modal Qt message boxes
// with the button texts of the resource language (Russian, as on the device,
// or English).
#pragma once

#include "platform/message_box.h"

namespace platform::qt {

// Shows each box on the user-interface thread, modal, owned by the window
// passed as owner (a QWidget* converted to void*, or null). A thread other than the user-interface
// thread waits there until the box is answered.
//
// A Yes/No box cannot be dismissed with Esc or the close button: as on the
// device, one of its two answers must be chosen, so that dismissing the
// success question never deletes the encrypted file.
class QtMessageBoxService : public MessageBoxService {
 public:
  int Show(void* owner, const char16_t* text, const char16_t* caption, unsigned style) override;
};

}  // namespace platform::qt
