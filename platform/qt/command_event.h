// Commands: what a soft key, an accelerator or a button sends to its window,
// identified by a small integer as on the device.
#pragma once

#include <QEvent>

class QWidget;

namespace platform::qt {

class CommandEvent : public QEvent {
 public:
  explicit CommandEvent(int command);
  static QEvent::Type EventType();
  int Command() const { return command_; }

 private:
  int command_;
};

// Delivers command `command` to `window` and returns when it was handled.
void SendCommand(QWidget* window, int command);

}  // namespace platform::qt
