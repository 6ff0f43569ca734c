// A window or dialog whose behaviour is a procedure (platform/window.h):
// Qt's events become its messages.
#pragma once

#include <QCloseEvent>
#include <QEvent>

#include "platform/ui_qt/back_end.h"

namespace platform::qt {

struct ProcedureHolder {
  WindowProcedure procedure = nullptr;
};

template <typename Base>
class ProcedureWidget : public Base, public ProcedureHolder {
 public:
  ProcedureWidget(WindowProcedure windowProcedure, QWidget* parent) : Base(parent) {
    procedure = windowProcedure;
  }

 protected:
  bool event(QEvent* event) override {
    if (event->type() == QEvent::WindowActivate || event->type() == QEvent::WindowDeactivate) {
      Dispatch(this, Message::kActivate, event->type() == QEvent::WindowActivate ? 1 : 0);
    } else if (event->type() == QEvent::LocaleChange) {
      Dispatch(this, Message::kSettingChange, 0);
    }
    return Base::event(event);
  }

  // The window manager's close button asks; the procedure decides.
  void closeEvent(QCloseEvent* event) override {
    event->ignore();
    Dispatch(this, Message::kClose, 0);
  }
};

}  // namespace platform::qt
