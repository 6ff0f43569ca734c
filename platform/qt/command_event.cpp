#include "platform/qt/command_event.h"

#include <QCoreApplication>
#include <QWidget>

namespace platform::qt {

CommandEvent::CommandEvent(int command) : QEvent(EventType()), command_(command) {}

QEvent::Type CommandEvent::EventType() {
  static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

void SendCommand(QWidget* window, int command) {
  CommandEvent event(command);
  QCoreApplication::sendEvent(window, &event);
}

}  // namespace platform::qt
